// The console's output sink, the usage screen with its sections and
// separators, the version reader and the banner. Output is captured where
// the program writes it, on standard output.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "framework/console/base_console.h"
#include "framework/console/test_console.h"
#include "framework/console/version_info.h"
#include "framework/output/format.h"
#include "platform/text.h"
#include "platform/console.h"
#include "platform/path.h"
#include "platform/system.h"
#include "version_data.h"

namespace monctl {
namespace {

using testing_support::Arguments;
using testing_support::TestConsole;

// The name of this test program as the usage screen shows it.
constexpr char kProgramName[] = "framework_tests";

std::string Utf8(const std::u16string& text) { return Utf16ToUtf8(text); }

class ConsoleOutputTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetTranslationMode(platform::Stream::kOutput, platform::kModeText); }
  void TearDown() override { platform::SetTranslationMode(platform::Stream::kOutput, platform::kModeText); }

  template <class F>
  std::string Capture(F&& f) {
    ::testing::internal::CaptureStdout();
    f();
    return ::testing::internal::GetCapturedStdout();
  }
};

TEST_F(ConsoleOutputTest, DisplayLevelDecidesWhatIsWritten) {
  struct Case {
    uint32_t level;
    bool written;
  };
  const Case cases[] = {
      {kDisplayNone, false},  {kDisplayProgress, false}, {kDisplayNormal, true},
      {kDisplayVerbose, true}, {0x80000004, true},       {0x80000001, false},
      {0, false},              {16, true},
  };
  for (const Case& c : cases) {
    TestConsole console;
    console.m_dwOptions = MWO_PREFIX;
    console.m_dwDisplayLevel = c.level;
    std::string out = Capture([&] {
      console.Write(u"a");
      console.WriteError(u"b");
      console.WriteErrorCode(u"c", static_cast<int32_t>(0x80070005u));
    });
    if (c.written) {
      EXPECT_TRUE(out.starts_with("ab\nERROR: c\n")) << std::hex << c.level << ": " << out;
      EXPECT_EQ(console.m_nLineWrites, 4u) << std::hex << c.level;
    } else {
      EXPECT_EQ(out, "") << std::hex << c.level;
      EXPECT_EQ(console.m_nLineWrites, 0u) << std::hex << c.level;
    }
  }
}

TEST_F(ConsoleOutputTest, SeparatorFollowsOnlyWrittenText) {
  TestConsole console;
  console.m_dwOptions = MWO_PREFIX;
  std::string out = Capture([&] {
    console.WriteSeparator();  // nothing written yet
    console.Write(u"a");
    console.WriteSeparator();
    console.WriteSeparator();  // the count was reset
    // The separator goes around the writer: to the writer the line "a"
    // has not ended, so the error is not decorated.
    console.WriteError(u"b");
    console.ResetLineWrites();
    console.WriteSeparator();
    console.WriteError(u"c");
  });
  EXPECT_EQ(out, "a\nb\nERROR: c\n");
  EXPECT_EQ(console.m_nLineWrites, 1u);
}

TEST_F(ConsoleOutputTest, SeparatorAtLevelNoneResetsTheCount) {
  TestConsole console;
  console.m_nLineWrites = 3;
  console.m_dwDisplayLevel = kDisplayNone;
  std::string out = Capture([&] { console.WriteSeparator(); });
  EXPECT_EQ(out, "");
  EXPECT_EQ(console.m_nLineWrites, 0u);
}

struct UsageCase {
  const char* name;
  bool help;
  std::u16string invalid;
  std::u16string unknown;
  std::u16string error;
  uint32_t error_code;
  std::string expected;  // "@" stands for the program name
};

std::string ExpandName(std::string text) {
  for (size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at)) {
    text.replace(at, 1, kProgramName);
  }
  return text;
}

TEST_F(ConsoleOutputTest, UsageSectionsInOrder) {
  const std::string usage = "Usage:\n\n  @ [/a <value>] [/?]\n\tSyntax line two.\n\n";
  const UsageCase cases[] = {
      {"nothing", false, u"", u"", u"", 0, ""},
      {"help only", true, u"", u"", u"", 0, usage},
      {"invalid value only", false, u"\t/a\n", u"", u"", 0, "Invalid parameter value(s):\n\n\t/a\n\n"},
      {"unknown only", false, u"", u"\t/x\n\t2\n", u"", 0, "Unknown parameter(s):\n\n\t/x\n\t2\n\n"},
      {"error only", false, u"", u"", u"a parameter is required.", 0,
       "ERROR: a parameter is required.\n\n"},
      {"everything", true, u"\t/a (expected: p,q)\n", u"\t/x\n", u"wrong.", 0,
       usage + "Invalid parameter value(s):\n\n\t/a (expected: p,q)\n\nUnknown parameter(s):\n\n\t/x\n\n"
               "ERROR: wrong.\n\n"},
      {"help and error", true, u"", u"", u"wrong.", 0, usage + "ERROR: wrong.\n\n"},
      {"error text is a format without arguments", false, u"", u"", u"100%% sure", 0,
       "ERROR: 100% sure\n\n"},
  };
  for (const UsageCase& c : cases) {
    TestConsole console;
    console.m_dwOptions = MWO_PREFIX;
    console.m_bHelp = c.help;
    console.m_strInvalidParameters = c.invalid;
    console.m_strUnknownParameters = c.unknown;
    console.m_strError = c.error;
    console.m_dwError = c.error_code;
    console.m_nLineWrites = 7;  // as after the banner
    std::string out = Capture([&] { console.ShowUsage(); });
    EXPECT_EQ(out, ExpandName(c.expected)) << c.name;
    EXPECT_EQ(console.m_nLineWrites, 0u) << c.name;
  }
}

TEST_F(ConsoleOutputTest, UsageErrorWithACodeAddsTheSystemText) {
  constexpr int32_t kCode = static_cast<int32_t>(0x80070005u);
  char16_t system_text[kSystemErrorTextSize];
  ASSERT_TRUE(GetSystemErrorText(kCode, system_text));
  TestConsole console;
  console.m_dwOptions = MWO_PREFIX;
  console.m_strError = u"cannot go on.";
  console.m_dwError = static_cast<uint32_t>(kCode);
  std::string out = Capture([&] { console.ShowUsage(); });
  EXPECT_EQ(out, "ERROR: cannot go on.\n" + Utf8(system_text) + "\n\n");
}

TEST_F(ConsoleOutputTest, UsageOfAParsedCommandLine) {
  // An invalid value and an unknown option: the sections come in their
  // fixed order, whatever the order on the command line.
  TestConsole console;
  console.results = {{u"bad", kParameterInvalid}};
  Arguments args{u"/bogus", u"/bad", u"1"};
  console.ParseCommandLine(args.argc(), args.argv());
  ASSERT_TRUE(console.IsUsageRequired());
  std::string out = Capture([&] { console.ShowUsage(); });
  EXPECT_EQ(out, ExpandName("Usage:\n\n  @ [/a <value>] [/?]\n\tSyntax line two.\n\n"
                            "Invalid parameter value(s):\n\n\t/bad\n\n"
                            "Unknown parameter(s):\n\n\t/bogus\n\n"));
}

TEST_F(ConsoleOutputTest, NothingAtLevelNone) {
  TestConsole console;
  Arguments args{u"/display", u"none", u"/x"};
  std::string out = Capture([&] {
    console.ParseCommandLine(args.argc(), args.argv());
    console.ShowBanner();
    console.ShowUsage();
  });
  EXPECT_TRUE(console.m_bHelp);
  EXPECT_EQ(out, "");
  EXPECT_EQ(console.m_nLineWrites, 0u);
}

TEST(ProgramNameTest, FolderAndLastExtensionGoAndCaseIsFolded) {
  struct Case {
    std::u16string path;
    std::u16string name;
  };
  const Case cases[] = {
      {u"C:\\Tools\\My.Tool.EXE", u"my.tool"},
      {u"C:\\monctl.exe", u"monctl"},
      {u"MONCTL", u"monctl"},
#ifndef _WIN32
      {u"/usr/local/bin/monctl-sim", u"monctl-sim"},
#endif
  };
  for (const Case& c : cases) {
    char16_t buffer[platform::kMaxPath] = {};
    c.path.copy(buffer, c.path.size());
    platform::PathStripPathW(buffer);
    platform::PathRemoveExtensionW(buffer);
    ASSERT_TRUE(platform::StringToLower(buffer, platform::kMaxPath));
    EXPECT_EQ(std::u16string(buffer), c.name);
  }
}

// The version strings of this program: the Windows build compiles them into
// its resource, the native build embeds them.
const std::u16string kFileDescription = Utf8ToUtf16(MONCTL_FILE_DESCRIPTION);
const std::u16string kCopyright = Utf8ToUtf16(MONCTL_LEGAL_COPYRIGHT);

TEST(VersionInfoTest, ReadsTheProgramsOwnResource) {
  CVersionInfo info;
  ASSERT_TRUE(info.LoadModule());
  EXPECT_EQ(info.dwSignature, platform::kFixedFileInfoSignature);
  EXPECT_EQ(info.dwFileVersionMS, (uint32_t{MONCTL_VERSION_MAJOR} << 16) | MONCTL_VERSION_MINOR);
  EXPECT_EQ(info.dwFileVersionLS, (uint32_t{MONCTL_VERSION_PATCH} << 16) | MONCTL_VERSION_TWEAK);

  std::u16string text;
  ASSERT_TRUE(info.GetStringValue(u"FileDescription", &text));
  EXPECT_EQ(text, kFileDescription);
  ASSERT_TRUE(info.GetStringValue(u"LegalCopyright", &text));
  EXPECT_EQ(text, kCopyright);
  ASSERT_TRUE(info.GetStringValue(u"CompanyName", &text));
  EXPECT_EQ(text, Utf8ToUtf16(MONCTL_COMPANY_NAME));
  ASSERT_TRUE(info.GetStringValue(u"ProductName", &text));
  EXPECT_EQ(text, Utf8ToUtf16(MONCTL_PRODUCT_NAME));

  const char16_t* value = nullptr;
  uint32_t length = 0;
  ASSERT_TRUE(info.QueryStringValue(u"ProductName", &value, &length));
  EXPECT_EQ(std::u16string(value), Utf8ToUtf16(MONCTL_PRODUCT_NAME));

  text = u"kept";
  EXPECT_FALSE(info.GetStringValue(u"NoSuchString", &text));
  EXPECT_EQ(text, u"kept");
}

TEST(VersionInfoTest, FailedLoadLeavesNothingBehind) {
  CVersionInfo info;
  ASSERT_TRUE(info.LoadModule());
  EXPECT_FALSE(info.Load(u"C:\\no\\such\\file.exe"));
  EXPECT_EQ(info.dwSignature, 0u);
  EXPECT_EQ(info.dwFileVersionMS, 0u);
  std::u16string text;
  platform::SetLastError(0);
  EXPECT_FALSE(info.GetStringValue(u"FileDescription", &text));
  EXPECT_EQ(platform::GetLastError(), platform::kErrorInvalidData);
  const char16_t* value = nullptr;
  uint32_t length = 0;
  EXPECT_FALSE(info.QueryStringValue(u"FileDescription", &value, &length));
  EXPECT_EQ(platform::GetLastError(), platform::kErrorNoMoreItems);
}

TEST(VersionInfoTest, VersionTextOfTheBanner) {
  struct Case {
    uint32_t ms, ls, flags, mask;
    std::u16string expected;
  };
  const Case cases[] = {
      {(2u << 16) | 15, (300u << 16) | 7, 0, 0x3F, u"X - Version 2.15 (build 300), 64-bit."},
      {(1u << 16) | 0, 0, 0x2, 0x3F, u"X - Version 1.0 (build 0) [BETA], 64-bit."},
      {(1u << 16) | 0, 0, 0x2, 0, u"X - Version 1.0 (build 0) [BETA], 64-bit."},
      {0xFFFFFFFF, 0xFFFFFFFF, 0x1, 0x3F, u"X - Version 65535.65535 (build 65535), 64-bit."},
  };
  for (const Case& c : cases) {
    CConsoleVersionInfo info;
    info.dwFileVersionMS = c.ms;
    info.dwFileVersionLS = c.ls;
    info.dwFileFlags = c.flags;
    info.dwFileFlagsMask = c.mask;
    std::u16string text = u"X";
    EXPECT_TRUE(info.AppendVersion(&text));
    EXPECT_EQ(text, c.expected);
  }
}

TEST_F(ConsoleOutputTest, Banner) {
  TestConsole console;
  std::string out = Capture([&] { console.ShowBanner(); });
  std::u16string first = kFileDescription;
  CConsoleVersionInfo own;
  own.AppendVersion(&first);
  std::u16string expected_version =
      Format(u" - Version %d.%d (build %d)", MONCTL_VERSION_MAJOR, MONCTL_VERSION_MINOR,
             MONCTL_VERSION_PATCH) +
      (MONCTL_PRERELEASE ? u" [BETA]" : u"") + u", 64-bit.";
  EXPECT_EQ(first, kFileDescription + expected_version);
  EXPECT_EQ(out, Utf8(first) + "\nDoes what the test asks.\n" + Utf8(kCopyright) + "\n\n");
  EXPECT_EQ(console.m_nLineWrites, 7u);
}

}  // namespace
}  // namespace monctl
