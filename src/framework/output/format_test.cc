#include "framework/output/format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/system.h"

namespace monctl {
namespace {

using K = ArgKind;

TEST(CheckFormatTest, MatchesConversionsAgainstArgumentKinds) {
  struct Case {
    const char16_t* format;
    std::vector<ArgKind> kinds;
    bool ok;
  };
  const Case cases[] = {
      {u"plain 100%% done", {}, true}, {u"%-17s|%.3s", {K::kText, K::kText}, true}, {u"%c", {K::kChar}, true},
      {u"%d %ld %i %lu %hu", {K::kInt32, K::kInt32, K::kUInt32, K::kUInt32, K::kUInt32}, true},
      {u"%08X %5.2d", {K::kUInt32, K::kInt32}, true}, {u"%lld %I64u", {K::kInt64, K::kUInt64}, true},
      {u"%p", {K::kPointer}, true},
      // Mismatches, counts, malformed or unsupported conversions.
      {u"%s", {K::kInt32}, false}, {u"%s", {K::kChar}, false}, {u"%c", {K::kInt32}, false},
      {u"%c", {K::kText}, false},  {u"%d", {K::kText}, false}, {u"%d", {K::kInt64}, false},
      {u"%lu", {K::kUInt64}, false}, {u"%p", {K::kInt32}, false}, {u"%d", {}, false},
      {u"", {K::kInt32}, false}, {u"%d %d", {K::kInt32}, false}, {u"%%", {K::kInt32}, false},
      {u"%", {}, false}, {u"abc%", {}, false}, {u"%l", {K::kInt32}, false},
      {u"%*d", {K::kInt32, K::kInt32}, false}, {u"%.*s", {K::kInt32, K::kText}, false},
      {u"%q", {K::kInt32}, false}, {u"%f", {K::kInt32}, false},
  };
  for (const Case& c : cases) {
    const char* error = CheckFormat(c.format, c.kinds);
    EXPECT_EQ(error == nullptr, c.ok) << testing::PrintToString(std::u16string(c.format)) << ": "
                                      << (error ? error : "accepted");
  }
  constexpr ArgKind kText[] = {ArgKind::kText};
  static_assert(CheckFormat(u"%s", kText) == nullptr && CheckFormat(u"%d", kText) != nullptr);
}

TEST(FormatTest, UsesTheWideRulesOfTheRuntimeLibrary) {
  EXPECT_EQ(Format(u"%-5s|%5s|", u"abc", std::u16string(u"ab")), u"abc  |   ab|");
  EXPECT_EQ(Format(u"%08X (0x%08X)", 0xC0262585u, 0x1234u), u"C0262585 (0x00001234)");
  EXPECT_EQ(Format(u"%lu %d %ld", 4294967295u, -5, int32_t{-2147483647 - 1}), u"4294967295 -5 -2147483648");
  EXPECT_EQ(Format(u"%hu.%hu %04x%04x", uint16_t{2}, uint16_t{15}, uint16_t{0x409}, uint16_t{1200}),
            u"2.15 040904b0");
  EXPECT_EQ(Format(u"%c%c %s\u00B0 %d%%", u'a', u'\u00B0', u"90", 50), u"a\u00B0 90\u00B0 50%");
  EXPECT_EQ(Format(u"[%s]", static_cast<const char16_t*>(nullptr)), u"[(null)]");
  // A run-time format that does not fit its arguments is left unchanged.
  EXPECT_EQ(WithPrintfArgs([](PrintfArgs a) { return FormatText(u"%d items", a); }), u"%d items");
}

// Every text of the string table is used as a format; the kinds of the
// arguments that its callers pass are listed here.
TEST(StringTableTest, EveryTextChecksOutAgainstItsArguments) {
  const std::pair<uint32_t, std::vector<ArgKind>> kinds[] = {
      {27009, {ArgKind::kText}},  // crash report: the dump's file name
  };
#define MONCTL_STRING(id, text) id,
  const uint32_t ids[] = {
#include "platform/strings.inc"
  };
#undef MONCTL_STRING
  for (uint32_t id : ids) {
    const auto* entry = std::find_if(std::begin(kinds), std::end(kinds), [&](auto& k) { return k.first == id; });
    ASSERT_NE(entry, std::end(kinds)) << "string " << id << " has no argument kinds in this test";
    platform::ResourceString text = platform::LoadStringW(id);
    ASSERT_NE(text.text, nullptr) << "string " << id << " cannot be loaded";
    const char* error = CheckFormat(std::u16string_view(text.text, text.length), entry->second);
    EXPECT_EQ(error, nullptr) << "string " << id << ": " << error;
  }
}

}  // namespace
}  // namespace monctl
