#include "platform/text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace monctl {
namespace {

TEST(TextToLongTest, ConvertsLikeWtol) {
  const struct {
    const char16_t* text;
    int32_t value;
    bool overflow;
  } cases[] = {
      {u"70", 70, false},           {u"  \t\n42", 42, false},      {u"+7", 7, false},
      {u"-100", -100, false},       {u"12abc", 12, false},         {u"x", 0, false},
      {u"", 0, false},              {u"-", 0, false},              {u"- 5", 0, false},
      {u"0010", 10, false},         {u"\u0661\u0662", 0, false},  // only ASCII digits count
      {u"2147483647", 2147483647, false},
      {u"-2147483648", -2147483647 - 1, false},
      {u"2147483648", 2147483647, true},
      {u"99999999999", 2147483647, true},
      {u"-2147483649", -2147483647 - 1, true},
      {u"-99999999999999999999999", -2147483647 - 1, true},
  };
  for (const auto& c : cases) {
    bool overflow = !c.overflow;
    EXPECT_EQ(TextToLong(c.text, &overflow), c.value) << testing::PrintToString(std::u16string(c.text));
    EXPECT_EQ(overflow, c.overflow) << testing::PrintToString(std::u16string(c.text));
  }
}

TEST(CompareNoCaseTest, FoldsOnlyAsciiLetters) {
  EXPECT_EQ(CompareNoCase(u"Brightness", u"bRIGHTNESS", 10), 0);
  EXPECT_EQ(CompareNoCase(u"bri", u"brightness", 3), 0);
  EXPECT_NE(CompareNoCase(u"bro", u"brightness", 3), 0);
  EXPECT_NE(CompareNoCase(u"\u00C9", u"\u00E9", 1), 0);
  EXPECT_NE(CompareNoCase(u"a", u"ab", 2), 0);
  EXPECT_EQ(CompareNoCase(u"ab", u"ab", 5), 0);  // stops at the terminator
  EXPECT_TRUE(EqualNoCase(u"\\\\.\\Display1", u"\\\\.\\DISPLAY1"));
  EXPECT_FALSE(EqualNoCase(u"\\\\.\\DISPLAY1", u"\\\\.\\DISPLAY12"));
  EXPECT_FALSE(EqualNoCase(u"\u00C9", u"\u00E9"));
  EXPECT_FALSE(EqualNoCase(std::u16string_view(u"a\0b", 3), std::u16string_view(u"a\0c", 3)));
}

// UTF-8 to UTF-16 and back; an ill-formed sequence gives one replacement
// character per byte, an unpaired surrogate one.
TEST(Utf16Test, ConvertsEveryEncodingLengthAndReplacesWhatIsIllFormed) {
  const struct {
    std::string utf8;
    std::u16string utf16;
    bool both_ways;
  } cases[] = {
      {"A\xC3\xA9\xE2\x80\xB3\xF0\x9D\x84\x9E", u"A\u00E9\u2033\U0001D11E", true},  // 1 to 4 bytes
      {"\x80x", u"\uFFFDx", false},                                                 // a lone continuation byte
      {"\xE2\x80", u"\uFFFD\uFFFD", false},                                         // a truncated sequence
      {"\xC0\xAF", u"\uFFFD\uFFFD", false},                                         // an overlong '/'
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD", false},                               // an encoded surrogate
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD", false},                     // past U+10FFFF
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16) << testing::PrintToString(c.utf8);
    if (c.both_ways) {
      EXPECT_EQ(Utf16ToUtf8(c.utf16), c.utf8);
    }
  }
  EXPECT_EQ(Utf16ToUtf8(u"\xD800x"), "\xEF\xBF\xBDx");
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xDC00, 0xD800}), "\xEF\xBF\xBD\xEF\xBF\xBD");
}

}  // namespace
}  // namespace monctl
