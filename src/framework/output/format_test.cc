#include "framework/output/format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "platform/resources.h"

namespace monctl {
namespace {

using K = ArgKind;

TEST(FormatTest, ConversionsMustFitTheArgumentKinds) {
  const std::pair<const char16_t*, std::vector<ArgKind>> accepted[] = {
      {u"100%% %-17s|%.3s %c %p", {K::kText, K::kText, K::kChar, K::kPointer}},
      {u"%d %ld %i %lu %hu %08X", {K::kInt32, K::kInt32, K::kUInt32, K::kUInt32, K::kUInt32, K::kUInt32}},
      {u"%5.2d %lld %I64u", {K::kInt32, K::kInt64, K::kUInt64}}};
  const std::pair<const char16_t*, std::vector<ArgKind>> refused[] = {
      {u"%s", {K::kChar}}, {u"%c", {K::kText}},  {u"%d", {K::kText}},  {u"%lu", {K::kUInt64}},
      {u"%p", {K::kInt32}}, {u"%d", {}},          {u"", {K::kInt32}},   {u"%%", {K::kInt32}},
      {u"abc%", {}},        {u"%l", {K::kInt32}}, {u"%f", {K::kInt32}}, {u"%*d", {K::kInt32, K::kInt32}},
      {u"%.*s", {K::kInt32, K::kText}}};
  for (const auto& [format, kinds] : accepted) EXPECT_EQ(CheckFormat(format, kinds), nullptr);
  for (const auto& [format, kinds] : refused) EXPECT_NE(CheckFormat(format, kinds), nullptr);
  // A null text prints as "(null)"; a run-time format that does not fit its arguments is left unchanged.
  EXPECT_EQ(Format(u"[%s]", static_cast<const char16_t*>(nullptr)), u"[(null)]");
  EXPECT_EQ(WithPrintfArgs([](PrintfArgs a) { return FormatText(u"%d items", a); }), u"%d items");
}

// The string table's texts are formats too; the kinds of the arguments their callers pass are listed here.
TEST(FormatTest, StringTableTextsFitTheirArguments) {
  const std::pair<uint32_t, std::vector<ArgKind>> strings[] = {{27009, {K::kText}}, {27010, {}}};  // the crash dump's name; none
#define MONCTL_STRING(id, text) id,
  for (uint32_t id : {
#include "platform/strings.inc"
       }) {
    const auto* entry = std::find_if(std::begin(strings), std::end(strings), [&](auto& s) { return s.first == id; });
    ASSERT_NE(entry, std::end(strings)) << "string " << id << " has no argument kinds in this test";
    const platform::ResourceString text = platform::LoadStringW(id);
    ASSERT_NE(text.text, nullptr) << id;
    EXPECT_EQ(CheckFormat(std::u16string_view(text.text, text.length), entry->second), nullptr) << id;
  }
#undef MONCTL_STRING
}

}  // namespace
}  // namespace monctl
