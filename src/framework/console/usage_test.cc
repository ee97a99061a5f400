// The console's output sink, the usage screen with its sections and
// separators, and the version reader behind the banner. Output is captured
// where the program writes it, on standard output.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>

#include "framework/console/base_console.h"
#include "framework/console/version_info.h"
#include "framework/output/format.h"
#include "framework/text.h"
#include "platform/console.h"
#include "platform/system.h"
#include "version_data.h"

namespace monctl {
namespace {

class UsageConsole : public CBaseConsole {
 public:
  // The base puts standard error into UTF-16 mode; the test framework writes narrow text there.
  UsageConsole() {
    platform::SetTranslationMode(platform::Stream::kError, platform::kModeText);
    platform::SetTranslationMode(platform::Stream::kOutput, platform::kModeText);
    m_dwOptions = MWO_PREFIX;
  }
  std::u16string GetDescription() override { return u"Does what the test asks."; }
  std::u16string GetSyntax() override { return u"[/a <value>]\n\tline two.\n"; }

  template <class F>
  std::string Capture(F&& f) {
    ::testing::internal::CaptureStdout();
    f();
    return ::testing::internal::GetCapturedStdout();
  }
};

TEST(ConsoleOutputTest, DisplayLevelDecidesWhatIsWritten) {
  // The top bit of the level does not count.
  for (uint32_t level : {kDisplayNone, kDisplayProgress, kDisplayNormal, kDisplayVerbose, 0x80000004u,
                         0x80000001u, 0u, 16u}) {
    UsageConsole console;
    console.m_dwDisplayLevel = level;
    const bool written = (level & 0x7FFFFFFF) >= kDisplayNormal;
    std::string out = console.Capture([&] {
      console.Write(u"a");
      console.WriteErrorCode(u"c", static_cast<int32_t>(0x80070005u));
    });
    EXPECT_EQ(console.m_nLineWrites, written ? 3u : 0u) << level;
    EXPECT_EQ(out.starts_with("ac\n"), written) << level << ": " << out;
    EXPECT_EQ(out.empty(), !written) << level;
  }
}

TEST(ConsoleOutputTest, UsageSectionsInOrder) {
  constexpr int32_t kCode = static_cast<int32_t>(0x80070005u);
  char16_t system_text[kSystemErrorTextSize];
  ASSERT_TRUE(GetSystemErrorText(kCode, system_text));
  const std::string usage = "Usage:\n\n  framework_tests [/a <value>]\n\tline two.\n\n";
  struct Case {
    bool help;
    std::u16string invalid, unknown, error;
    int32_t code;
    std::string expected;
  };
  const Case cases[] = {
      {false, u"", u"", u"", 0, ""},
      {true, u"", u"", u"", 0, usage},
      {false, u"\t/a\n", u"", u"", 0, "Invalid parameter value(s):\n\n\t/a\n\n"},
      {false, u"", u"\t/x\n\t2\n", u"", 0, "Unknown parameter(s):\n\n\t/x\n\t2\n\n"},
      {false, u"", u"", u"100%% sure.", 0, "ERROR: 100% sure.\n\n"},
      {false, u"", u"", u"cannot go on.", kCode, "ERROR: cannot go on.\n" + Utf16ToUtf8(system_text) + "\n\n"},
      {true, u"\t/a (expected: p,q)\n", u"\t/x\n", u"wrong.", 0,
       usage + "Invalid parameter value(s):\n\n\t/a (expected: p,q)\n\nUnknown parameter(s):\n\n\t/x\n\n"
               "ERROR: wrong.\n\n"},
  };
  for (const Case& c : cases) {
    UsageConsole console;
    console.m_bHelp = c.help;
    console.m_strInvalidParameters = c.invalid;
    console.m_strUnknownParameters = c.unknown;
    console.m_strError = c.error;
    console.m_dwError = static_cast<uint32_t>(c.code);
    console.m_nLineWrites = 7;  // as after the banner
    EXPECT_EQ(console.Capture([&] { console.ShowUsage(); }), c.expected);
    EXPECT_EQ(console.m_nLineWrites, 0u);
  }
}

TEST(ProgramNameTest, FolderAndLastExtensionGoAndCaseIsFolded) {
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"C:\\Tools\\My.Tool.EXE", u"my.tool"}, {u"C:\\monctl.exe", u"monctl"}, {u"MONCTL", u"monctl"},
      {u"C:\\a.b\\x y.z", u"x y"},         {u"C:\\a\\x.y z", u"x.y z"},
  };
  for (const auto& [path, name] : cases) {
    char16_t buffer[platform::kMaxPath] = {};
    path.copy(buffer, path.size());
    platform::PathStripPathW(buffer);
    platform::PathRemoveExtensionW(buffer);
    ASSERT_TRUE(platform::StringToLower(buffer, platform::kMaxPath));
    EXPECT_EQ(std::u16string(buffer), name);
  }
}

TEST(VersionInfoTest, ReadsTheProgramsOwnResource) {
  CVersionInfo info;
  ASSERT_TRUE(info.LoadModule());
  EXPECT_EQ(info.dwSignature, platform::kFixedFileInfoSignature);
  EXPECT_EQ(info.dwFileVersionMS, (uint32_t{MONCTL_VERSION_MAJOR} << 16) | MONCTL_VERSION_MINOR);
  EXPECT_EQ(info.dwFileVersionLS, (uint32_t{MONCTL_VERSION_PATCH} << 16) | MONCTL_VERSION_TWEAK);
  const std::pair<const char16_t*, const char*> strings[] = {
      {u"FileDescription", MONCTL_FILE_DESCRIPTION}, {u"LegalCopyright", MONCTL_LEGAL_COPYRIGHT},
      {u"CompanyName", MONCTL_COMPANY_NAME},         {u"productname", MONCTL_PRODUCT_NAME}};
  for (auto [name, value] : strings) {
    std::u16string text;
    EXPECT_TRUE(info.GetStringValue(name, &text));
    EXPECT_EQ(text, Utf8ToUtf16(value));
  }
  std::u16string text = u"kept";
  EXPECT_FALSE(info.GetStringValue(u"NoSuchString", &text));
  EXPECT_EQ(text, u"kept");

  // A failed load leaves nothing behind.
  EXPECT_FALSE(info.Load(u"C:\\no\\such\\file.exe"));
  EXPECT_EQ(info.dwSignature | info.dwFileVersionMS, 0u);
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
      {(2u << 16) | 15, (300u << 16) | 7, 0x1, 0x3F, u"X - Version 2.15 (build 300), 64-bit."},
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

}  // namespace
}  // namespace monctl
