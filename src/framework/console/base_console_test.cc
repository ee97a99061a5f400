// The console base: command-line grammar and /display, the usage screen,
// and the version reader behind the banner.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "framework/console/base_console.h"
#include "framework/console/version_info.h"
#include "platform/console.h"
#include "platform/path.h"
#include "platform/system.h"
#include "version_data.h"

namespace monctl {
namespace {

// Records every call of its handler as "name[value][value]". It accepts a,
// b and c, refuses bad and exp (exp naming what it expects) and hands every
// other name to the base.
class TestConsole : public CBaseConsole {
 public:
  TestConsole() {
    // The base puts standard error into UTF-16 mode; the test framework writes narrow text there.
    platform::SetTranslationMode(platform::Stream::kError, platform::kModeText);
    platform::SetTranslationMode(platform::Stream::kOutput, platform::kModeText);
    m_dwDisplayLevels = kDisplayNone | kDisplayNormal;
    m_dwOptions = MWO_PREFIX;
  }
  std::u16string GetDescription() override { return u"Does what the test asks."; }
  std::u16string GetSyntax() override { return u"[/a <value>]\n\tline two.\n"; }
  int32_t OnParameter(const char16_t* name, char16_t** values, uint32_t count) override {
    const std::u16string n = name;
    calls += (calls.empty() ? u"" : u" ") + n;
    for (uint32_t i = 0; i < count; ++i) calls += u"[" + std::u16string(values[i]) + u"]";
    if (n == u"exp") m_strExpected = u"p,q";
    if (n == u"bad" || n == u"exp") return kParameterInvalid;
    if (n == u"a" || n == u"b" || n == u"c") return 0;
    return CBaseConsole::OnParameter(name, values, count);
  }
  bool ValidateParameters() override {
    ++validations;
    return CBaseConsole::ValidateParameters();
  }

  std::u16string calls;
  int validations = 0;
};

// The texts here are ASCII.
std::string Narrow(const std::u16string& text) { return std::string(text.begin(), text.end()); }

std::u16string Repeat(const std::u16string& text, int times) {
  std::u16string all;
  while (times-- > 0) all += text;
  return all;
}

// Parses `line`, split at its spaces, starting from display level verbose;
// gives the calls, "|", the reported problems, " help" when the usage
// screen is due, the display level and " mode" when a translation mode
// was set.
std::u16string Parse(const std::u16string& line) {
  std::vector<std::u16string> args{u"prog"};
  for (size_t at = 0, end; at < line.size(); at = end + 1) {
    end = std::min(line.find(u' ', at), line.size());
    args.push_back(line.substr(at, end - at));
  }
  std::vector<char16_t*> argv;
  for (std::u16string& a : args) argv.push_back(a.data());
  TestConsole c;
  c.m_dwDisplayLevel = kDisplayVerbose;
  c.ParseCommandLine(static_cast<int>(args.size()), argv.data());
  const bool mode = platform::SetTranslationMode(platform::Stream::kOutput, platform::kModeText) !=
                    static_cast<int>(platform::kModeText);
  EXPECT_EQ(c.validations, 1);
  EXPECT_TRUE(c.m_strExpected.empty());
  EXPECT_EQ(c.IsUsageRequired(), c.m_bHelp || !c.m_strInvalidParameters.empty() || !c.m_strUnknownParameters.empty());
  return c.calls + u"|" + c.m_strInvalidParameters + c.m_strUnknownParameters + (c.m_bHelp ? u" help" : u"") +
         Format(u" %u", c.m_dwDisplayLevel) + (mode ? u" mode" : u"");
}

TEST(ParserTest, GrammarAndDisplay) {
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"", u"| 8"},
      {u"/a 1 2 /b 2 -c", u"a[1][2] b[2] c| 8"},
      {u"/a:1,2;3=4 /b: /c:1,", u"a[1][2][3][4] b[] c[1][]| 8"},
      {u"/a:b:c -b -5 -0", u"a[b:c] b[-5][-0]| 8"},
      {u"v /x:1 2 /a 1 -5", u"x[1] a[1][-5]|\tv\n\t/x\n\t2\n help 8"},
      {u"/ /:5 - 1", u"|\t/\n\t/\n\t-\n\t1\n help 8"},
      {u"/a:\"x,y\";z /b:\"x\"junk,z /c:\"\"", u"a[x,y][z] b[x][z] c[]| 8"},
      {u"/a:\"x,y /b:1,\"x", u"|\t/a\n\t/b\n 8"},
      {u"/a \"x,y\"", u"a[\"x,y\"]| 8"},
      {u"/a:7" + Repeat(u",7", 31) + u" /b:7" + Repeat(u",7", 32) + u" /c:7" + Repeat(u",7", 31) + u",",
       u"a" + Repeat(u"[7]", 32) + u"|\t/b\n\t/c\n 8"},
      {u"/bad 1 /exp:1 /exp /bad",
       u"bad[1] exp[1] exp bad|\t/bad\n\t/exp (expected: p,q)\n\t/exp (expected: p,q)\n\t/bad\n 8"},
      {u"z /bad /x /a:\" /", u"bad x|\t/bad\n\t/a\n\tz\n\t/x\n\t/\n help 8"},
      {u"/help:anything -H x /?", u"help[anything] H[x] ?| help 8"},
      // /display: a level, then a translation mode.
      {u"/DISPLAY:Normal /d n", u"DISPLAY[Normal] d[n]| 1"},
      {u"/display /display:", u"display display[]| 8"},
      {u"/display:,utf8", u"display[][utf8]| 8 mode"},
      {u"/display:none,", u"display[none][]| 1"},
      {u"/display:loud,utf8", u"display[loud][utf8]|\t/display (expected: none,normal)\n 8"},
  };
  for (const auto& [args, expected] : cases) {
    SCOPED_TRACE(testing::PrintToString(args));
    EXPECT_EQ(Parse(args), expected);
  }
  EXPECT_EQ(FindKeyword(u"d", std::span<const KEYWORD>()), -1);
}

// An error text is a format without arguments; with a code the system's text follows.
TEST(UsageTest, ErrorWithAndWithoutCode) {
  char16_t system_text[kSystemErrorTextSize];
  ASSERT_TRUE(GetSystemErrorText(static_cast<int32_t>(0x80070005u), system_text));
  for (uint32_t code : {0u, 0x80070005u}) {
    TestConsole console;
    console.m_strError = u"100%% sure.";
    console.m_dwError = code;
    console.m_nLineWrites = 7;  // as after the banner
    ::testing::internal::CaptureStdout();
    console.ShowUsage();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "ERROR: 100% sure.\n" + (code != 0 ? Narrow(system_text) + "\n" : "") + "\n");
    EXPECT_EQ(console.m_nLineWrites, 0u);
  }
}

TEST(UsageTest, ProgramNameLosesFolderAndLastExtensionAndCase) {
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"C:\\Tools\\My.Tool.EXE", u"my.tool"}, {u"MONCTL", u"monctl"}, {u"C:\\a.b\\x y.z", u"x y"},
      {u"C:\\a\\x.y z", u"x.y z"}};
  for (const auto& [path, name] : cases) {
    char16_t buffer[platform::kMaxPath] = {};
    path.copy(buffer, path.size());
    platform::PathStripPathW(buffer);
    platform::PathRemoveExtensionW(buffer);
    ASSERT_TRUE(platform::StringToLower(buffer, platform::kMaxPath));
    EXPECT_EQ(std::u16string(buffer), name);
  }
}

TEST(VersionInfoTest, StringsOfTheOwnResourceAndTheBannersVersionText) {
  CConsoleVersionInfo info;
  std::u16string text;
  EXPECT_TRUE(info.GetStringValue(u"productname", &text));
  EXPECT_EQ(Narrow(text), MONCTL_PRODUCT_NAME);
  EXPECT_FALSE(info.GetStringValue(u"NoSuchString", &text));
  EXPECT_EQ(Narrow(text), MONCTL_PRODUCT_NAME);
  // Build and pre-release flag, whatever the flag mask says.
  info.dwFileVersionMS = 0xFFFF000F;
  info.dwFileVersionLS = (300u << 16) | 7;
  info.dwFileFlags = 0x3;
  info.dwFileFlagsMask = 0;
  text = u"X";
  EXPECT_TRUE(info.AppendVersion(&text));
  EXPECT_EQ(text, u"X - Version 65535.15 (build 300) [BETA], 64-bit.");
}

}  // namespace
}  // namespace monctl
