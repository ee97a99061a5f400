#include "framework/output/system_error.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "framework/output/format.h"
#include "platform/system.h"

namespace monctl {
namespace {

constexpr int32_t Code(uint32_t value) { return static_cast<int32_t>(value); }

// The platform's raw text for a message number with the closing run of
// "\r\n\t " cut off; empty when there is none.
std::u16string TrimmedPlatformText(uint32_t number) {
  char16_t buffer[kSystemErrorTextSize];
  if (platform::FormatSystemMessage(number, buffer, kSystemErrorTextSize) == 0) return {};
  std::u16string text(buffer);
  size_t end = text.find_last_not_of(u"\r\n\t ");
  return end == std::u16string::npos ? std::u16string() : text.substr(0, end + 1);
}

TEST(SystemErrorTest, LastErrorToHResult) {
  struct Case {
    uint32_t last_error;
    uint32_t expected;
  };
  const Case cases[] = {
      {0, 0},
      {5, 0x80070005},
      {87, 0x80070057},
      {0x12345, 0x80072345},        // only the low 16 bits are kept
      {0x7FFFFFFF, 0x8007FFFF},
      {0xC0262585, 0xC0262585},     // top bit set: passed on unchanged
      {0x80004005, 0x80004005},
  };
  for (const Case& c : cases) {
    platform::SetLastError(c.last_error);
    EXPECT_EQ(static_cast<uint32_t>(LastErrorToHResult()), c.expected) << std::hex << c.last_error;
  }
}

TEST(SystemErrorTest, IsWin32Code) {
  struct Case {
    uint32_t code;
    bool expected;
  };
  const Case cases[] = {
      {0x80070005, true},  {0x00070005, true},  {0xC0070005, true},  // facility 7, bit 30 ignored
      {0x90070005, false},                                         // bit 28 is part of the test
      {0, true},           {5, true},           {0xFFFF, true},      {0x10000, false},
      {0x80004005, false}, {0xC0262585, false}, {0x8007FFFF, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsWin32Code(Code(c.code)), c.expected) << std::hex << c.code;
  }
}

TEST(SystemErrorTest, Win32CodesAreLookedUpByTheirErrorNumber) {
  char16_t by_code[kSystemErrorTextSize];
  char16_t by_number[kSystemErrorTextSize];
  ASSERT_TRUE(FormatSystemMessage(Code(0x80070005), by_code));
  ASSERT_TRUE(FormatSystemMessage(5, by_number));
  EXPECT_EQ(std::u16string(by_code), std::u16string(by_number));
}

TEST(SystemErrorTest, TextIsTrimmedAndCarriesTheCode) {
  struct Case {
    uint32_t code;
    uint32_t number;  // message number looked up
    const char16_t* suffix;
  };
  const Case cases[] = {
      {0x80070002, 2, u" (2)"},
      {0x80070005, 5, u" (5)"},
      {0x80070057, 87, u" (87)"},
      {5, 5, u" (5)"},
      {0x80004005, 0x80004005, u" (0x80004005)"},
      {0x8000FFFF, 0x8000FFFF, u" (0x8000FFFF)"},
      {0xC0262585, 0xC0262585, u" (0xC0262585)"},
  };
  for (const Case& c : cases) {
    std::u16string text = TrimmedPlatformText(c.number);
    char16_t line[kSystemErrorTextSize];
    bool found = GetSystemErrorText(Code(c.code), line);
    if (text.empty()) {
      // Not every platform knows every code (Wine lacks some); then the
      // text is missing, code and all.
      EXPECT_FALSE(found) << std::hex << c.code;
      continue;
    }
    ASSERT_TRUE(found) << std::hex << c.code;
    EXPECT_EQ(std::u16string(line), text + c.suffix) << std::hex << c.code;
  }
}

TEST(SystemErrorTest, TrimmingRemovesOnlyTheClosingRun) {
  // The platform's texts end with "\r\n"; inner line breaks and spaces stay.
  char16_t raw[kSystemErrorTextSize];
  ASSERT_NE(platform::FormatSystemMessage(5, raw, kSystemErrorTextSize), 0u);
  std::u16string raw_text(raw);
  ASSERT_TRUE(raw_text.ends_with(u"\r\n")) << "test premise: system texts end with a line break";

  char16_t trimmed[kSystemErrorTextSize];
  ASSERT_TRUE(FormatSystemMessage(5, trimmed));
  std::u16string text(trimmed);
  EXPECT_EQ(text, TrimmedPlatformText(5));
  EXPECT_FALSE(text.empty());
  EXPECT_EQ(std::u16string_view(u"\r\n\t ").find(text.back()), std::u16string_view::npos)
      << "text ends in white space: " << testing::PrintToString(text);
  // Inner spaces are kept: the text is a sentence.
  EXPECT_NE(text.find(u' '), std::u16string::npos);
}

TEST(SystemErrorTest, CodeWithoutTextGivesNothing) {
  char16_t line[kSystemErrorTextSize] = u"untouched";
  EXPECT_FALSE(GetSystemErrorText(Code(0x8FFF1234), line));
}

// A text that leaves too little room for the suffix is cut so that the
// suffix still fits. The native message table has no text that long; some
// Windows versions (and Wine) do, so look for one.
TEST(SystemErrorTest, SuffixFitsInTheBuffer) {
  for (uint32_t number = 1; number < 16000; ++number) {
    std::u16string text = TrimmedPlatformText(number);
    std::u16string suffix = Format(u" (%d)", static_cast<int32_t>(number));
    if (text.size() + suffix.size() < kSystemErrorTextSize) continue;
    char16_t line[kSystemErrorTextSize + 8];
    for (char16_t& c : line) c = u'#';
    auto& buffer = *reinterpret_cast<char16_t(*)[kSystemErrorTextSize]>(line);
    ASSERT_TRUE(GetSystemErrorText(Code(0x80070000u | number), buffer)) << number;
    std::u16string result(line);
    EXPECT_EQ(result.size(), kSystemErrorTextSize - 1) << number;
    EXPECT_TRUE(result.ends_with(suffix)) << number;
    EXPECT_EQ(result.substr(0, result.size() - suffix.size()),
              text.substr(0, kSystemErrorTextSize - 1 - suffix.size()));
    for (size_t i = kSystemErrorTextSize; i < std::size(line); ++i) EXPECT_EQ(line[i], u'#');
    return;
  }
  GTEST_SKIP() << "the platform has no system text long enough to need cutting";
}

}  // namespace
}  // namespace monctl
