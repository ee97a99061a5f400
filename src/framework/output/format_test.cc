#include "framework/output/format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/resources.h"

namespace monctl {
namespace {

using K = ArgKind;

struct CheckCase {
  const char16_t* format;
  std::vector<ArgKind> kinds;
  bool ok;
};

TEST(CheckFormatTest, MatchesConversionsAgainstArgumentKinds) {
  const CheckCase cases[] = {
      {u"plain text", {}, true},
      {u"100%% done", {}, true},
      {u"%s", {K::kText}, true},
      {u"%-17s|", {K::kText}, true},
      {u"%.3s", {K::kText}, true},
      {u"%c", {K::kChar}, true},
      {u"%d %ld %i", {K::kInt32, K::kInt32, K::kUInt32}, true},
      {u"%lu", {K::kUInt32}, true},
      {u"%hu", {K::kUInt32}, true},
      {u"%08X", {K::kUInt32}, true},
      {u"%5.2d", {K::kInt32}, true},
      {u"%lld", {K::kInt64}, true},
      {u"%I64u", {K::kUInt64}, true},
      {u"%p", {K::kPointer}, true},
      // Mismatches.
      {u"%s", {K::kInt32}, false},
      {u"%s", {K::kChar}, false},
      {u"%c", {K::kInt32}, false},
      {u"%c", {K::kText}, false},
      {u"%d", {K::kText}, false},
      {u"%d", {K::kInt64}, false},
      {u"%lu", {K::kUInt64}, false},
      {u"%p", {K::kInt32}, false},
      // Counts.
      {u"%d", {}, false},
      {u"", {K::kInt32}, false},
      {u"%d %d", {K::kInt32}, false},
      {u"%%", {K::kInt32}, false},
      // Malformed or unsupported.
      {u"%", {}, false},
      {u"abc%", {}, false},
      {u"%l", {K::kInt32}, false},
      {u"%*d", {K::kInt32, K::kInt32}, false},
      {u"%.*s", {K::kInt32, K::kText}, false},
      {u"%q", {K::kInt32}, false},
      {u"%f", {K::kInt32}, false},
  };
  for (const CheckCase& c : cases) {
    const char* error = CheckFormat(c.format, c.kinds);
    std::u16string format(c.format);
    EXPECT_EQ(error == nullptr, c.ok) << "format \"" << testing::PrintToString(format) << "\": "
                                      << (error ? error : "accepted");
  }
}

TEST(CheckFormatTest, WorksAtCompileTime) {
  constexpr ArgKind kText[] = {ArgKind::kText};
  static_assert(CheckFormat(u"%s", kText) == nullptr);
  static_assert(CheckFormat(u"%d", kText) != nullptr);
}

TEST(FormatTest, UsesTheWideRulesOfTheRuntimeLibrary) {
  EXPECT_EQ(Format(u"%-17s|", u"abc"), u"abc              |");
  EXPECT_EQ(Format(u"%5s|", std::u16string(u"ab")), u"   ab|");
  EXPECT_EQ(Format(u"%08X", 0xC0262585u), u"C0262585");
  EXPECT_EQ(Format(u" (0x%08X)", 0x1234u), u" (0x00001234)");
  EXPECT_EQ(Format(u"%lu", 4294967295u), u"4294967295");
  EXPECT_EQ(Format(u"%d", -5), u"-5");
  EXPECT_EQ(Format(u"%ld", int32_t{-2147483647 - 1}), u"-2147483648");
  EXPECT_EQ(Format(u"%hu.%hu", uint16_t{2}, uint16_t{15}), u"2.15");
  EXPECT_EQ(Format(u"%04x%04x", uint16_t{0x409}, uint16_t{1200}), u"040904b0");
  EXPECT_EQ(Format(u"%c%c", u'a', u'\u00B0'), u"a\u00B0");
  EXPECT_EQ(Format(u"%s\u00B0", u"90"), u"90\u00B0");
  EXPECT_EQ(Format(u"[%s]", static_cast<const char16_t*>(nullptr)), u"[(null)]");
  EXPECT_EQ(Format(u"%d%%", 50), u"50%");
}

TEST(FormatTextTest, RunTimeFormatThatDoesNotFitItsArgumentsIsLeftUnchanged) {
  std::u16string text = WithPrintfArgs([](PrintfArgs a) { return FormatText(u"%d items", a); });
  EXPECT_EQ(text, u"%d items");
}

// Every text of the string table is used as a format; the kinds of the
// arguments that its callers pass are listed here.
struct TableString {
  uint32_t id;
  std::vector<ArgKind> kinds;
};

const TableString kStringKinds[] = {
    {27009, {ArgKind::kText}},  // crash report: the dump's file name
};

TEST(StringTableTest, EveryTextChecksOutAgainstItsArguments) {
#define MONCTL_STRING(id, text) id,
  const uint32_t ids[] = {
#include "platform/strings.inc"
  };
#undef MONCTL_STRING
  for (uint32_t id : ids) {
    const TableString* entry = nullptr;
    for (const TableString& s : kStringKinds) {
      if (s.id == id) entry = &s;
    }
    ASSERT_NE(entry, nullptr) << "string " << id << " has no argument kinds in this test";
    platform::ResourceString text = platform::LoadStringW(id);
    ASSERT_NE(text.text, nullptr) << "string " << id << " cannot be loaded";
    std::u16string_view view(text.text, text.length);
    const char* error = CheckFormat(view, entry->kinds);
    EXPECT_EQ(error, nullptr) << "string " << id << ": " << error;
  }
}

TEST(StringTableTest, CrashReportTakesOneText) {
  platform::ResourceString text = platform::LoadStringW(27009);
  ASSERT_NE(text.text, nullptr);
  std::u16string_view view(text.text, text.length);
  constexpr ArgKind kNone[] = {ArgKind::kUnsupported};
  constexpr ArgKind kTwoTexts[] = {ArgKind::kText, ArgKind::kText};
  constexpr ArgKind kNumber[] = {ArgKind::kUInt32};
  EXPECT_NE(CheckFormat(view, std::span(kNone, 0)), nullptr);
  EXPECT_NE(CheckFormat(view, kTwoTexts), nullptr);
  EXPECT_NE(CheckFormat(view, kNumber), nullptr);
}

TEST(StringTableTest, MissingStringGivesNoText) {
  EXPECT_EQ(platform::LoadStringW(1).text, nullptr);
  EXPECT_EQ(platform::LoadStringW(27008).text, nullptr);
}

}  // namespace
}  // namespace monctl
