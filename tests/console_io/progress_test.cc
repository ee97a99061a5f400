// The progress line on a console and with standard output redirected, and
// the path shortening behind it.
#include <algorithm>
#include <functional>
#include <iterator>
#include <string>
#include <tuple>

#include <gtest/gtest.h>

#include "framework/console/base_console.h"
#include "framework/output/progress.h"
#include "platform/console.h"
#include "platform/path.h"
#include "platform/system.h"
#include "platform/types.h"

namespace monctl {
namespace {

// `path` shortened to `width` characters, terminator included.
std::u16string Compact(const std::u16string& path, uint32_t width) {
  char16_t out[platform::kMaxPath];
  std::fill(std::begin(out), std::end(out), u'#');
  EXPECT_TRUE(platform::PathCompactPathExW(out, path.c_str(), width, 0));
  return out;
}

class ProgressConsole : public CBaseConsole {
 public:
  ProgressConsole() {
    // The base puts standard error into UTF-16 mode; the test framework writes narrow text there.
    platform::SetTranslationMode(platform::Stream::kError, platform::kModeText);
    platform::SetTranslationMode(platform::Stream::kOutput, platform::kModeText);
  }
  std::u16string GetDescription() override { return u"Shows progress."; }
  std::u16string GetSyntax() override { return u""; }
};

// The paths here are ASCII.
std::string Narrow(const std::u16string& text) { return std::string(text.begin(), text.end()); }

const std::u16string kLongPath = u"C:\\Users\\someone\\Documents\\Monitors\\Calibration\\report-2024.txt";

TEST(ProgressLine, OnAConsoleAndRedirected) {
  const std::string erase = "\r" + std::string(78, ' ') + "\r";
  std::u16string deep = u"C:";
  while (deep.size() < 300) deep += u"\\folder";
  const std::u16string deep_path = deep + u"\\name.txt";
  using C = ProgressConsole&;
  struct Case {
    bool console;
    std::u16string path;
    std::function<void(C)> write;
    std::string expected;
    uint32_t writes;
  };
  const Case cases[] = {
      {true, u"", [](C c) { c.WriteProgress(u"done %d\n", 3); }, erase + "done 3\n", 2},
      {false, u"", [](C c) { c.WriteProgress(u"done\n"); }, "done\n", 1},
      {true, u"", [](C c) { c.WriteProgress(u"working"); }, "working", 1},
      {false, u"", [](C c) { c.WriteProgress(u"working"); c.WriteProgress(u""); }, "", 0},
      // A long path is shortened to the width on a console and kept for the next line; when redirected it is
      // written whole, and only with the final text.
      {true, kLongPath, [](C c) { c.WriteProgress(u"%d%%", 50); c.WriteProgress(u"."); },
       "\r" + Narrow(Compact(kLongPath, 40)) + ": 50%\r" + Narrow(Compact(kLongPath, 40)) + ": .", 2},
      {false, kLongPath, [](C c) { c.WriteProgress(u"50%%"); c.WriteProgress(u"done\n"); },
       Narrow(kLongPath) + ": done\n", 1},
      {true, deep_path, [](C c) { c.m_nProgressWidth = 1000; c.WriteProgress(u"x"); },
       "\r" + Narrow(Compact(deep_path, platform::kMaxPath)) + ": x", 1},
      // After the final line the path is gone.
      {true, u"C:\\f.txt",
       [](C c) { c.WriteProgress(u"copying"); c.WriteProgress(u"copied\n"); c.WriteProgress(u"."); },
       "\rC:\\f.txt: copying" + erase + "\rC:\\f.txt: copied\n.", 4},
      {false, u"C:\\f.txt", [](C c) { c.WriteProgress(u"first\n"); c.WriteProgress(u"second\n"); },
       "C:\\f.txt: first\nsecond\n", 2},
      // An ordinary message finishes the pending line first; below level normal it is not written.
      {false, u"C:\\f.txt", [](C c) { c.WriteLine(u"next"); c.WriteLine(u"last"); }, "C:\\f.txt: \nnext\nlast\n", 3},
      {true, u"C:\\f.txt", [](C c) { c.m_dwDisplayLevel = kDisplayProgress; c.WriteLine(u"hidden"); },
       erase + "\rC:\\f.txt: \n", 2},
      {true, u"C:\\f.txt", [](C c) {
         c.m_dwDisplayLevel = kDisplayNone;
         c.WriteProgress(u"working");
         c.WriteProgress(u"done\n");
         c.ClearProgressLine();
         c.m_dwDisplayLevel = kDisplayNormal;
         c.WriteProgress(u".");
       }, ".", 1},
      {true, u"", [](C c) { c.ClearProgressLine(); }, erase, 1},
      {false, u"", [](C c) { c.ClearProgressLine(); }, "", 0},
      // The guard sets the path for its scope.
      {true, u"", [](C c) { { CConsoleProgressPath progress(&c, u"C:\\i.txt"); c.WriteProgress(u"a"); }
                            c.WriteProgress(u"b\n"); }, "\rC:\\i.txt: a" + erase + "b\n", 3},
  };
  for (const Case& c : cases) {
    ProgressConsole console;
    console.m_bConsoleOutput = c.console;
    console.m_strProgress = c.path;
    ::testing::internal::CaptureStdout();
    c.write(console);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), c.expected) << testing::PrintToString(c.expected);
    EXPECT_EQ(console.m_nLineWrites, c.writes) << testing::PrintToString(c.expected);
  }
}

#ifndef _WIN32
// The native shortening cuts whole folders. (The system's on Windows may
// cut a folder name anywhere.)
TEST(PathCompaction, NativeShorteningCutsWholeFolders) {
  const std::u16string kPath = u"C:\\Users\\someone\\Documents\\Monitors\\Calibration\\report.txt";
  const std::u16string kDump = u"/home/someone/state/monctl/dump.txt", kWide = u"/a/x\U0001F600yz.txt";
  const std::tuple<std::u16string, uint32_t, std::u16string> cases[] = {
      {kPath, 32, u"C:\\Users\\someone\\...\\report.txt"}, {kPath, 31, u"C:\\Users\\...\\report.txt"},
      {kPath, 18, u"C:\\...\\report.txt"}, {kPath, 15, u"...\\report.txt"}, {kPath, 14, u"...report.txt"},
      {kPath, 13, u"report.tx..."}, {kPath, 4, u"..."}, {kPath, 3, u".."}, {kPath, 1, u""},
      {kPath, static_cast<uint32_t>(kPath.size() + 1), kPath}, {kDump, 27, u"/home/someone/.../dump.txt"},
      {kDump, 26, u"/home/.../dump.txt"}, {kWide, 7, u"x\U0001F600..."}, {kWide, 6, u"x..."},  // no half pair
  };
  for (const auto& [path, width, expected] : cases) EXPECT_EQ(Compact(path, width), expected) << width;
}
#endif

}  // namespace
}  // namespace monctl
