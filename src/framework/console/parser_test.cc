// The command-line grammar, keyword matching and the /display option.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "framework/console/base_console.h"
#include "platform/console.h"

namespace monctl {
namespace {

// Records every call of its handler as "name[value][value]". It accepts a,
// b, c, A and novalid (which then fails validation), refuses bad and exp
// (exp naming what it expects) and hands every other name to the base.
class TestConsole : public CBaseConsole {
 public:
  // The base puts standard error into UTF-16 mode; the test framework writes narrow text there.
  TestConsole() { platform::SetTranslationMode(platform::Stream::kError, platform::kModeText); }
  std::u16string GetDescription() override { return u"Does what the test asks."; }
  std::u16string GetSyntax() override { return u""; }
  int32_t OnParameter(const char16_t* name, char16_t** values, uint32_t count) override {
    const std::u16string n = name;
    calls += (calls.empty() ? u"" : u" ") + n;
    for (uint32_t i = 0; i < count; ++i) calls += u"[" + std::u16string(values[i]) + u"]";
    if (n == u"exp") m_strExpected = u"p,q";
    if (n == u"novalid") valid = false;
    if (n == u"bad" || n == u"exp") return kParameterInvalid;
    if (n == u"a" || n == u"b" || n == u"c" || n == u"A" || n == u"novalid") return 0;
    return CBaseConsole::OnParameter(name, values, count);
  }
  bool ValidateParameters() override {
    ++validations;
    return valid && CBaseConsole::ValidateParameters();
  }

  std::u16string calls;
  int validations = 0;
  bool valid = true;
};

// Parses `line`, split at its spaces, as the arguments after the program's name.
void Parse(CBaseConsole& console, const std::u16string& line) {
  std::vector<std::u16string> args{u"prog"};
  for (size_t at = 0, end; at < line.size(); at = end + 1) {
    end = std::min(line.find(u' ', at), line.size());
    args.push_back(line.substr(at, end - at));
  }
  std::vector<char16_t*> argv;
  for (std::u16string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  console.ParseCommandLine(static_cast<int>(args.size()), argv.data());
}

// n one-digit values: "0,1,2,..." as a colon list, or "[0][1][2]..." as the handler gets them.
std::u16string Values(int n, bool as_calls) {
  std::u16string text;
  for (int i = 0; i < n; ++i) {
    const std::u16string value(1, static_cast<char16_t>(u'0' + i % 10));
    text += as_calls ? u"[" + value + u"]" : (i > 0 ? u"," : u"") + value;
  }
  return text;
}

TEST(ParserTest, Grammar) {
  struct Case {
    std::u16string args, calls, invalid, unknown;
    bool help;
  };
  const Case cases[] = {
      {u"", u"", u"", u"", false},
      {u"/a 1 2 /b 2 -c", u"a[1][2] b[2] c", u"", u"", false},
      {u"/A:1,2;3=4 /b: /c:1,", u"A[1][2][3][4] b[] c[1][]", u"", u"", false},
      {u"/a:b:c -b -5 -0", u"a[b:c] b[-5][-0]", u"", u"", false},
      {u"-5 /a 1 v", u"a[1][v]", u"", u"\t-5\n", true},
      {u"--x", u"-x", u"", u"\t--x\n", true},
      {u"v /x:1 2", u"x[1]", u"", u"\tv\n\t/x\n\t2\n", true},
      {u"/bogus 1 2", u"bogus[1][2]", u"", u"\t/bogus\n", true},
      {u"/ /:5 - 1", u"", u"", u"\t/\n\t/\n\t-\n\t1\n", true},
      {u"/a:\"x,y\";z /b:\"x\"junk,z /c:\"\"", u"a[x,y][z] b[x][z] c[]", u"", u"", false},
      {u"/a:\"x,y /b:1,\"x", u"", u"\t/a\n\t/b\n", u"", false},
      {u"/a \"x,y\"", u"a[\"x,y\"]", u"", u"", false},
      {u"/a:" + Values(32, false) + u" /b:" + Values(33, false) + u" /c:" + Values(32, false) + u",",
       u"a" + Values(32, true),
       u"\t/b\n\t/c\n", u"", false},
      {u"/bad 1 /exp:1 /exp /bad", u"bad[1] exp[1] exp bad",
       u"\t/bad\n\t/exp (expected: p,q)\n\t/exp (expected: p,q)\n\t/bad\n", u"", false},
      {u"z /bad /x /a:\" /", u"bad x", u"\t/bad\n\t/a\n", u"\tz\n\t/x\n\t/\n", true},
      {u"/help", u"help", u"", u"", true},
      {u"/help:anything -H x /?", u"help[anything] H[x] ?", u"", u"", true},
      {u"/helpme", u"helpme", u"", u"\t/helpme\n", true},
      {u"/novalid", u"novalid", u"", u"", true},
  };
  for (const Case& c : cases) {
    TestConsole console;
    Parse(console, c.args);
    const std::string name = testing::PrintToString(c.args);
    EXPECT_EQ(console.calls, c.calls) << name;
    EXPECT_EQ(console.m_strInvalidParameters, c.invalid) << name;
    EXPECT_EQ(console.m_strUnknownParameters, c.unknown) << name;
    EXPECT_EQ(console.m_bHelp, c.help) << name;
    EXPECT_EQ(console.validations, 1) << name;
    EXPECT_TRUE(console.m_strExpected.empty()) << name;
    EXPECT_EQ(console.IsUsageRequired(), c.help || !c.invalid.empty() || !c.unknown.empty()) << name;
  }
}

TEST(KeywordTest, FirstEntryThatTheWordBeginsWins) {
  const KEYWORD table[] = {{u"display", 1, 0}, {u"device", 2, 0}, {u"Help", 3, 0}, {u"?", 4, 0}};
  const std::pair<const char16_t*, int32_t> cases[] = {
      {u"d", 0},  {u"de", 1}, {u"DEV", 1}, {u"display", 0}, {u"displays", -1},
      {u"hElP", 2}, {u"?", 3}, {u"x", -1},  {u"", 0},
  };
  for (auto [word, index] : cases) {
    uint32_t value = 99;
    EXPECT_EQ(FindKeyword(word, table, &value), index) << testing::PrintToString(std::u16string(word));
    EXPECT_EQ(value, index < 0 ? 99u : table[index].dwValue);
  }
  EXPECT_EQ(FindKeyword(u"d", std::span<const KEYWORD>()), -1);
}

TEST(DisplayOptionTest, LevelsAndModes) {
  const std::u16string kLevels = u"\t/display (expected: none,normal)\n";
  struct Case {
    std::u16string args;
    uint32_t mask, level;  // the level after parsing, from verbose
    std::u16string invalid;
    uint32_t mode;  // set on standard output, or 0
  };
  const Case cases[] = {
      {u"/display none", 5, kDisplayNone, u"", 0},
      {u"/d NORMAL", 5, kDisplayNormal, u"", 0},
      {u"/DISPLAY:Normal", 5, kDisplayNormal, u"", 0},
      {u"/display n", 5, kDisplayNone, u"", 0},
      {u"/display verbose", 5, kDisplayVerbose, kLevels, 0},
      {u"/display p", 5, kDisplayVerbose, kLevels, 0},
      {u"/display loud", 5, kDisplayVerbose, kLevels, 0},
      {u"/display progress", 0x7FFFFFFF, kDisplayProgress, u"", 0},
      {u"/display p", 0, kDisplayProgress, u"", 0},
      {u"/display x", 0, kDisplayVerbose, u"\t/display (expected: none,normal,progress,verbose)\n", 0},
      {u"/display", 5, kDisplayVerbose, u"", 0},
      {u"/display:", 5, kDisplayVerbose, u"", 0},
      {u"/display:,utf8", 5, kDisplayVerbose, u"", platform::kModeUtf8},
      {u"/display normal u", 5, kDisplayNormal, u"", platform::kModeUtf16},
      {u"/display:none,", 5, kDisplayNone, u"", 0},
      {u"/display normal bogus", 5, kDisplayNormal, u"\t/display (expected: text,unicode,utf8)\n", 0},
      {u"/display a b c", 5, kDisplayVerbose, u"\t/display\n", 0},
      {u"/display:loud,utf8", 5, kDisplayVerbose, kLevels, 0},
  };
  for (const Case& c : cases) {
    platform::SetTranslationMode(platform::Stream::kOutput, platform::kModeText);
    TestConsole console;
    console.m_dwDisplayLevels = c.mask;
    console.m_dwDisplayLevel = kDisplayVerbose;
    Parse(console, c.args);
    const int previous = platform::SetTranslationMode(platform::Stream::kOutput, platform::kModeText);
    const std::string name = testing::PrintToString(c.args);
    EXPECT_EQ(console.m_dwDisplayLevel, c.level) << name;
    EXPECT_EQ(console.m_strInvalidParameters, c.invalid) << name;
    EXPECT_TRUE(console.m_strUnknownParameters.empty() && !console.m_bHelp) << name;
#ifdef _WIN32
    // The run-time library reports both Unicode modes as _O_WTEXT.
    EXPECT_EQ(previous != static_cast<int>(platform::kModeText), c.mode != 0) << name;
#else
    EXPECT_EQ(previous, static_cast<int>(c.mode != 0 ? c.mode : platform::kModeText)) << name;
#endif
  }
}

}  // namespace
}  // namespace monctl
