// The command-line grammar, the framework options and /display.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/console/base_console.h"
#include "framework/console/test_console.h"
#include "platform/console.h"

namespace monctl {
namespace {

using testing_support::Arguments;
using testing_support::HandlerCall;
using testing_support::TestConsole;

std::u16string Values(int first, int count, char16_t separator = u',') {
  std::u16string list;
  for (int i = first; i < first + count; ++i) {
    if (i > first) list += separator;
    list += std::u16string(1, static_cast<char16_t>(u'a' + i % 26)) + static_cast<char16_t>(u'0' + i / 26);
  }
  return list;
}

std::vector<std::u16string> ValueList(int count) {
  std::vector<std::u16string> values;
  for (int i = 0; i < count; ++i) values.push_back(Values(i, 1));
  return values;
}

struct GrammarCase {
  const char* name;
  std::vector<std::u16string> args;
  std::vector<HandlerCall> calls;
  std::u16string invalid;  // m_strInvalidParameters
  std::u16string unknown;  // m_strUnknownParameters
  bool help;
};

TEST(ParserTest, Grammar) {
  const GrammarCase cases[] = {
      {"no arguments", {}, {}, u"", u"", false},
      {"values follow as separate arguments", {u"/a", u"1", u"2"}, {{u"a", {u"1", u"2"}}}, u"", u"", false},
      {"option without values", {u"/a"}, {{u"a", {}}}, u"", u"", false},
      {"pending option ends at the next option",
       {u"/a", u"1", u"/b", u"2", u"-c"},
       {{u"a", {u"1"}}, {u"b", {u"2"}}, {u"c", {}}},
       u"", u"", false},
      {"name keeps its case", {u"/A:1"}, {{u"A", {u"1"}}}, u"", u"", false},
      {"colon list with every separator", {u"/a:1,2;3=4"}, {{u"a", {u"1", u"2", u"3", u"4"}}}, u"", u"",
       false},
      {"empty colon list is one empty value", {u"/a:"}, {{u"a", {u""}}}, u"", u"", false},
      {"trailing separator gives an empty last value", {u"/a:1,"}, {{u"a", {u"1", u""}}}, u"", u"",
       false},
      {"only the first colon ends the name", {u"/a:b:c"}, {{u"a", {u"b:c"}}}, u"", u"", false},
      {"dash option", {u"-a", u"x"}, {{u"a", {u"x"}}}, u"", u"", false},
      {"dash and digit is a value", {u"/a", u"-5", u"-0"}, {{u"a", {u"-5", u"-0"}}}, u"", u"", false},
      {"dash value before any option is stray", {u"-5", u"/a", u"1"}, {{u"a", {u"1"}}}, u"",
       u"\t-5\n", true},
      {"double dash is an option named -x", {u"--x"}, {{u"-x", {}}}, u"", u"\t--x\n", true},
      {"value before any option is stray", {u"v", u"w"}, {}, u"", u"\tv\n\tw\n", true},
      {"value after a colon list is stray", {u"/x:1", u"2"}, {{u"x", {u"1"}}}, u"",
       u"\t/x\n\t2\n", true},
      {"values of an unknown option are not reported", {u"/bogus", u"1", u"2"},
       {{u"bogus", {u"1", u"2"}}}, u"", u"\t/bogus\n", true},
      {"unknown colon option shows no values", {u"/x:a,b"}, {{u"x", {u"a", u"b"}}}, u"", u"\t/x\n",
       true},
      {"slash alone", {u"/"}, {}, u"", u"\t/\n", true},
      {"slash and colon", {u"/:5"}, {}, u"", u"\t/\n", true},
      {"dash alone", {u"-"}, {}, u"", u"\t-\n", true},
      {"empty names do not become pending", {u"/", u"1"}, {}, u"", u"\t/\n\t1\n", true},
      {"quoted value keeps its separators", {u"/a:\"x,y\";z"}, {{u"a", {u"x,y", u"z"}}}, u"", u"",
       false},
      {"text after a closing quote is dropped", {u"/a:\"x\"junk,z"}, {{u"a", {u"x", u"z"}}}, u"", u"",
       false},
      {"quoted empty value", {u"/a:\"\""}, {{u"a", {u""}}}, u"", u"", false},
      {"unclosed quote", {u"/a:\"x,y"}, {}, u"\t/a\n", u"", false},
      {"unclosed quote after a value", {u"/a:1,\"x"}, {}, u"\t/a\n", u"", false},
      {"separate arguments are not unquoted", {u"/a", u"\"x,y\""}, {{u"a", {u"\"x,y\""}}}, u"", u"",
       false},
      {"32 values", {u"/a:" + Values(0, 32)}, {{u"a", ValueList(32)}}, u"", u"", false},
      {"33 values", {u"/a:" + Values(0, 33)}, {}, u"\t/a\n", u"", false},
      {"33 values, the last one empty", {u"/a:" + Values(0, 32) + u","}, {}, u"\t/a\n", u"", false},
      {"invalid value", {u"/bad", u"1"}, {{u"bad", {u"1"}}}, u"\t/bad\n", u"", false},
      {"invalid value with expected values", {u"/exp:1"}, {{u"exp", {u"1"}}},
       u"\t/exp (expected: p,q)\n", u"", false},
      {"expected values are used once",
       {u"/exp", u"/bad"},
       {{u"exp", {}}, {u"bad", {}}},
       u"\t/exp (expected: p,q)\n\t/bad\n", u"", false},
      {"all problems are collected",
       {u"z", u"/bad", u"/x", u"/a:\"", u"/"},
       {{u"bad", {}}, {u"x", {}}},
       u"\t/bad\n\t/a\n", u"\tz\n\t/x\n\t/\n", true},
      {"help", {u"/help"}, {{u"help", {}}}, u"", u"", true},
      {"question mark", {u"/?"}, {{u"?", {}}}, u"", u"", true},
      {"help with a value is no error", {u"/help:anything"}, {{u"help", {u"anything"}}}, u"", u"", true},
      {"help abbreviated", {u"-H", u"x"}, {{u"H", {u"x"}}}, u"", u"", true},
      {"longer than every name", {u"/helpme"}, {{u"helpme", {}}}, u"", u"\t/helpme\n", true},
  };
  for (const GrammarCase& c : cases) {
    TestConsole console;
    console.results = {{u"a", 0}, {u"b", 0}, {u"c", 0}, {u"A", 0}, {u"bad", kParameterInvalid},
                       {u"exp", kParameterInvalid}};
    console.expected = {{u"exp", u"p,q"}};
    Arguments args(c.args);
    console.ParseCommandLine(args.argc(), args.argv());
    EXPECT_EQ(console.calls, c.calls) << c.name;
    EXPECT_EQ(console.m_strInvalidParameters, c.invalid) << c.name;
    EXPECT_EQ(console.m_strUnknownParameters, c.unknown) << c.name;
    EXPECT_EQ(console.m_bHelp, c.help) << c.name;
    EXPECT_EQ(console.validations, 1) << c.name;
    EXPECT_TRUE(console.m_strExpected.empty()) << c.name;
    EXPECT_EQ(console.IsUsageRequired(), c.help || !c.invalid.empty() || !c.unknown.empty()) << c.name;
  }
}

TEST(ParserTest, FailedValidationAsksForHelp) {
  TestConsole console;
  console.results = {{u"a", 0}};
  console.validation_result = false;
  Arguments args{u"/a"};
  console.ParseCommandLine(args.argc(), args.argv());
  EXPECT_EQ(console.validations, 1);
  EXPECT_TRUE(console.m_bHelp);
  EXPECT_TRUE(console.IsUsageRequired());
}

TEST(ParserTest, ArgumentsAreCutAtTheColon) {
  TestConsole console;
  console.results = {{u"a", 0}};
  Arguments args{u"/a:1,2", u"/b"};
  console.ParseCommandLine(args.argc(), args.argv());
  EXPECT_EQ(std::u16string(args.argv()[1]), u"/a");
}

TEST(ParserTest, ErrorTextMakesUsageRequired) {
  TestConsole console;
  console.m_dwError = 5;
  console.SetErrorText(u"wrong");
  EXPECT_EQ(console.m_strError, u"wrong");
  EXPECT_EQ(console.m_dwError, 0u);
  EXPECT_TRUE(console.IsUsageRequired());
  console.SetErrorText(nullptr);
  EXPECT_EQ(console.m_strError, u"");
  EXPECT_FALSE(console.IsUsageRequired());
}

TEST(KeywordTest, FirstEntryThatTheWordBeginsWins) {
  const KEYWORD table[] = {{u"display", 1, 0}, {u"device", 2, 0}, {u"Help", 3, 0}, {u"?", 4, 0}};
  struct Case {
    const char16_t* word;
    int32_t index;
  };
  const Case cases[] = {
      {u"d", 0},  {u"de", 1},  {u"DEV", 1},   {u"display", 0}, {u"displays", -1},
      {u"h", 2},  {u"hElP", 2}, {u"?", 3},    {u"x", -1},      {u"", 0},
  };
  for (const Case& c : cases) {
    uint32_t value = 99;
    EXPECT_EQ(FindKeyword(c.word, table, &value), c.index) << testing::PrintToString(std::u16string(c.word));
    EXPECT_EQ(value, c.index < 0 ? 99u : table[c.index].dwValue);
  }
  EXPECT_EQ(FindKeyword(u"d", std::span<const KEYWORD>()), -1);
}

TEST(KeywordTest, ExpectedValuesHonourTheMask) {
  struct Case {
    uint32_t mask;
    std::u16string expected;
  };
  const Case cases[] = {
      {0, u"none,normal,progress,verbose"},
      {5, u"none,normal"},
      {6, u"normal,progress"},
      {0x7FFFFFFF, u"none,normal,progress,verbose"},
      {0x10, u""},
  };
  for (const Case& c : cases) {
    TestConsole console;
    console.SetExpectedValues(kDisplayLevels, c.mask);
    EXPECT_EQ(console.m_strExpected, c.expected) << c.mask;
  }
}

class DisplayOptionTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetTranslationMode(platform::Stream::kOutput, platform::kModeText); }
  void TearDown() override { platform::SetTranslationMode(platform::Stream::kOutput, platform::kModeText); }
};

struct DisplayCase {
  const char* name;
  std::vector<std::u16string> args;
  uint32_t mask;
  uint32_t level;          // after parsing, from an initial 8 (verbose)
  std::u16string invalid;
  uint32_t mode;           // translation mode applied to standard output, or 0
};

TEST_F(DisplayOptionTest, LevelsAndModes) {
  const DisplayCase cases[] = {
      {"level", {u"/display", u"none"}, 5, kDisplayNone, u"", 0},
      {"abbreviated, any case", {u"/d", u"NORMAL"}, 5, kDisplayNormal, u"", 0},
      {"colon form", {u"/DISPLAY:Normal"}, 5, kDisplayNormal, u"", 0},
      {"n is none", {u"/display", u"n"}, 5, kDisplayNone, u"", 0},
      {"level outside the mask", {u"/display", u"verbose"}, 5, kDisplayVerbose,
       u"\t/display (expected: none,normal)\n", 0},
      {"first match outside the mask ends the search", {u"/display", u"p"}, 5, kDisplayVerbose,
       u"\t/display (expected: none,normal)\n", 0},
      {"unknown level", {u"/display", u"loud"}, 5, kDisplayVerbose,
       u"\t/display (expected: none,normal)\n", 0},
      {"all levels by default", {u"/display", u"progress"}, 0x7FFFFFFF, kDisplayProgress, u"", 0},
      {"mask 0 admits all", {u"/display", u"p"}, 0, kDisplayProgress, u"", 0},
      {"mask 0 lists all", {u"/display", u"x"}, 0, kDisplayVerbose,
       u"\t/display (expected: none,normal,progress,verbose)\n", 0},
      {"alone changes nothing", {u"/display"}, 5, kDisplayVerbose, u"", 0},
      {"empty level is left alone", {u"/display:"}, 5, kDisplayVerbose, u"", 0},
      {"mode only", {u"/display:,utf8"}, 5, kDisplayVerbose, u"", platform::kModeUtf8},
      {"level and mode", {u"/display", u"normal", u"u"}, 5, kDisplayNormal, u"", platform::kModeUtf16},
      {"level and empty mode", {u"/display:none,"}, 5, kDisplayNone, u"", 0},
      {"level stays when the mode fails", {u"/display", u"normal", u"bogus"}, 5, kDisplayNormal,
       u"\t/display (expected: text,unicode,utf8)\n", 0},
      {"three values", {u"/display", u"a", u"b", u"c"}, 5, kDisplayVerbose, u"\t/display\n", 0},
      {"bad level stops before the mode", {u"/display:loud,utf8"}, 5, kDisplayVerbose,
       u"\t/display (expected: none,normal)\n", 0},
  };
  for (const DisplayCase& c : cases) {
    platform::SetTranslationMode(platform::Stream::kOutput, platform::kModeText);
    TestConsole console;
    console.m_dwDisplayLevels = c.mask;
    console.m_dwDisplayLevel = kDisplayVerbose;
    Arguments args(c.args);
    console.ParseCommandLine(args.argc(), args.argv());
    // Back to text mode before anything is reported.
    int previous = platform::SetTranslationMode(platform::Stream::kOutput, platform::kModeText);
    EXPECT_EQ(console.m_dwDisplayLevel, c.level) << c.name;
    EXPECT_EQ(console.m_strInvalidParameters, c.invalid) << c.name;
    EXPECT_TRUE(console.m_strUnknownParameters.empty()) << c.name;
    EXPECT_FALSE(console.m_bHelp) << c.name;
    if (c.mode == 0) {
      EXPECT_EQ(previous, static_cast<int>(platform::kModeText)) << c.name;
    } else {
#ifdef _WIN32
      // The run-time library reports both Unicode modes as _O_WTEXT.
      EXPECT_NE(previous, static_cast<int>(platform::kModeText)) << c.name;
#else
      EXPECT_EQ(previous, static_cast<int>(c.mode)) << c.name;
#endif
    }
  }
}

// The mode is applied the moment /display is handled: text written right
// after parsing comes out in UTF-8.
TEST_F(DisplayOptionTest, Utf8ModeAppliesAtOnce) {
  TestConsole console;
  Arguments args{u"/display:,utf8"};
  // Capturing replaces the descriptor of standard output, so it comes
  // first: the mode belongs to the descriptor.
  ::testing::internal::CaptureStdout();
  console.ParseCommandLine(args.argc(), args.argv());
  console.WriteLine(u"90\u00B0");
  std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "90\xC2\xB0\n");
}

}  // namespace
}  // namespace monctl
