#include "framework/text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace monctl {
namespace {

TEST(TextToLongTest, ConvertsLikeWtol) {
  struct Case {
    const char16_t* text;
    int32_t value;
    bool overflow;
  };
  const Case cases[] = {
      {u"70", 70, false},
      {u"  \t\n42", 42, false},
      {u"+7", 7, false},
      {u"-100", -100, false},
      {u"12abc", 12, false},
      {u"x", 0, false},
      {u"", 0, false},
      {u"-", 0, false},
      {u"1 2", 1, false},
      {u"- 5", 0, false},
      {u"0010", 10, false},
      {u"2147483647", 2147483647, false},
      {u"-2147483648", -2147483647 - 1, false},
      {u"2147483648", 2147483647, true},
      {u"-2147483649", -2147483647 - 1, true},
      {u"99999999999", 2147483647, true},
      {u"-99999999999999999999999", -2147483647 - 1, true},
      {u"\u0661\u0662", 0, false},  // only ASCII digits count
  };
  for (const Case& c : cases) {
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
}

TEST(Utf16Test, RoundTripsThroughUtf8) {
  const std::u16string text = u"90\u00B0 \U0001F5A5";
  EXPECT_EQ(Utf16ToUtf8(text), "90\xC2\xB0 \xF0\x9F\x96\xA5");
  EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(text)), text);
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");  // overlong form
  EXPECT_EQ(Utf16ToUtf8(u"\xD800x"), "\xEF\xBF\xBDx");   // unpaired surrogate
}

}  // namespace
}  // namespace monctl
