#include "framework/output/system_error.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>

#include "framework/output/format.h"
#include "platform/system.h"

namespace monctl {
namespace {

constexpr int32_t Code(uint32_t value) { return static_cast<int32_t>(value); }

TEST(SystemErrorTest, LastErrorToHResultAndIsWin32Code) {
  // The top bit set: passed on unchanged; otherwise only the low 16 bits are kept.
  const std::pair<uint32_t, uint32_t> hresults[] = {
      {0, 0}, {5, 0x80070005}, {87, 0x80070057}, {0x12345, 0x80072345}, {0x7FFFFFFF, 0x8007FFFF},
      {0xC0262585, 0xC0262585}, {0x80004005, 0x80004005}};
  for (auto [last_error, expected] : hresults) {
    platform::SetLastError(last_error);
    EXPECT_EQ(static_cast<uint32_t>(LastErrorToHResult()), expected) << std::hex << last_error;
  }
  // Facility 7 whatever bit 30; bit 28 is part of the test.
  const std::pair<uint32_t, bool> win32[] = {
      {0x80070005, true}, {0x00070005, true},  {0xC0070005, true},  {0x90070005, false},
      {0, true},          {0xFFFF, true},      {0x10000, false},    {0x80004005, false},
      {0xC0262585, false}, {0x8007FFFF, true}};
  for (auto [code, expected] : win32) EXPECT_EQ(IsWin32Code(Code(code)), expected) << std::hex << code;
}

TEST(SystemErrorTest, TextIsTrimmedAndCarriesTheCode) {
  struct Case {
    uint32_t code, number;  // the message number looked up
    const char16_t* suffix;
  };
  const Case cases[] = {
      {0x80070002, 2, u" (2)"},
      {0x80070057, 87, u" (87)"},
      {5, 5, u" (5)"},
      {0x80004005, 0x80004005, u" (0x80004005)"},
      {0x8000FFFF, 0x8000FFFF, u" (0x8000FFFF)"},
      {0xC0262585, 0xC0262585, u" (0xC0262585)"},
  };
  for (const Case& c : cases) {
    // The platform's raw text, which ends with a line break.
    char16_t raw[kSystemErrorTextSize];
    const bool known = platform::FormatSystemMessage(c.number, raw, kSystemErrorTextSize) != 0;
    std::u16string text(known ? raw : u"");
    char16_t line[kSystemErrorTextSize];
    // Not every platform knows every code (Wine lacks some); then there is no text at all.
    ASSERT_EQ(GetSystemErrorText(Code(c.code), line), known) << std::hex << c.code;
    if (!known) continue;
    ASSERT_TRUE(text.ends_with(u"\r\n"));
    text.erase(text.find_last_not_of(u"\r\n\t ") + 1);
    EXPECT_EQ(std::u16string(line), text + c.suffix) << std::hex << c.code;
  }
}

// A text that leaves too little room for the suffix is cut so that the
// suffix still fits. The native message table has no text that long; some
// Windows versions (and Wine) do, so look for one.
TEST(SystemErrorTest, SuffixFitsInTheBuffer) {
  for (uint32_t number = 1; number < 16000; ++number) {
    char16_t text[kSystemErrorTextSize];
    const std::u16string suffix = Format(u" (%d)", static_cast<int32_t>(number));
    if (!FormatSystemMessage(Code(number), text) ||
        std::u16string(text).size() + suffix.size() < kSystemErrorTextSize) {
      continue;
    }
    char16_t line[kSystemErrorTextSize + 8];
    std::fill(std::begin(line), std::end(line), u'#');
    auto& buffer = *reinterpret_cast<char16_t(*)[kSystemErrorTextSize]>(line);
    ASSERT_TRUE(GetSystemErrorText(Code(0x80070000u | number), buffer));
    EXPECT_EQ(std::u16string(line), std::u16string(text, kSystemErrorTextSize - 1 - suffix.size()) + suffix);
    EXPECT_EQ(std::u16string(line + kSystemErrorTextSize, 8), u"########");
    return;
  }
  GTEST_SKIP() << "the platform has no system text long enough to need cutting";
}

}  // namespace
}  // namespace monctl
