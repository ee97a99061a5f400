// The progress line on a console and with standard output redirected. The
// console's output is captured by pointing the standard output descriptor
// at a file for the length of a test.
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#define dup _dup
#define dup2 _dup2
#define close _close
#define fileno _fileno
#else
#include <unistd.h>
#endif

#include "framework/console/base_console.h"
#include "framework/output/progress.h"
#include "platform/console.h"

namespace monctl {
namespace {

// "\r", 78 spaces, "\r".
const std::string kErase = "\r" + std::string(78, ' ') + "\r";

class ProgressConsole : public CBaseConsole {
 public:
  explicit ProgressConsole(bool console) {
    m_bConsoleOutput = console;
    // The test framework writes narrow text to standard error.
    platform::SetTranslationMode(platform::Stream::kError, platform::kModeText);
  }
  std::u16string GetDescription() override { return u"Shows progress."; }
  std::u16string GetSyntax() override { return u""; }
};

// Collects what is written to the standard output descriptor while it
// lives.
class OutputCapture {
 public:
  OutputCapture() {
    std::fflush(stdout);
    file_ = std::tmpfile();
    saved_ = dup(fileno(stdout));
    dup2(fileno(file_), fileno(stdout));
#ifdef _WIN32
    // The descriptor took the binary mode of the file; the program's
    // output is text.
    _setmode(fileno(stdout), _O_TEXT);
#endif
  }
  ~OutputCapture() { Finish(); }

  std::string Finish() {
    if (file_ == nullptr) return text_;
    std::fflush(stdout);
    dup2(saved_, fileno(stdout));
    close(saved_);
    std::rewind(file_);
    char buffer[1024];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof(buffer), file_)) > 0) text_.append(buffer, n);
    std::fclose(file_);
    file_ = nullptr;
#ifdef _WIN32
    // Text mode wrote each line end as "\r\n".
    for (size_t at; (at = text_.find("\r\n")) != std::string::npos;) text_.erase(at, 1);
#endif
    return text_;
  }

 private:
  std::FILE* file_ = nullptr;
  int saved_ = -1;
  std::string text_;
};

// Longer than the 39 characters the progress line shows of a path.
const std::u16string kLongPath = u"C:\\Users\\someone\\Documents\\Monitors\\Calibration\\report-2024.txt";
const std::string kLongPathText = "C:\\Users\\someone\\Documents\\Monitors\\Calibration\\report-2024.txt";

TEST(ProgressLine, FinalLineWithoutPathOnConsoleErasesTheLineFirst) {
  ProgressConsole console(true);
  OutputCapture capture;
  console.WriteProgress(u"done %d\n", 3);
  EXPECT_EQ(capture.Finish(), kErase + "done 3\n");
  EXPECT_EQ(console.m_nLineWrites, 2u);
}

TEST(ProgressLine, FinalLineWithoutPathRedirectedIsTheTextAlone) {
  ProgressConsole console(false);
  OutputCapture capture;
  console.WriteProgress(u"done\n");
  EXPECT_EQ(capture.Finish(), "done\n");
  EXPECT_EQ(console.m_nLineWrites, 1u);
}

TEST(ProgressLine, UnfinishedLineIsWrittenOnlyOnAConsole) {
  ProgressConsole on_console(true);
  ProgressConsole redirected(false);
  std::string console_output;
  std::string redirected_output;
  {
    OutputCapture capture;
    on_console.WriteProgress(u"working");
    console_output = capture.Finish();
  }
  {
    OutputCapture capture;
    redirected.WriteProgress(u"working");
    redirected.WriteProgress(u"");
    redirected_output = capture.Finish();
  }
  EXPECT_EQ(console_output, "working");
  EXPECT_EQ(on_console.m_nLineWrites, 1u);
  EXPECT_EQ(redirected_output, "");
  EXPECT_EQ(redirected.m_nLineWrites, 0u);
}

TEST(ProgressLine, LongPathOnConsoleIsShortenedToTheWidth) {
  ProgressConsole console(true);
  console.m_strProgress = kLongPath;
  OutputCapture capture;
  console.WriteProgress(u"%d%%", 50);
  std::string output = capture.Finish();

  ASSERT_GE(output.size(), 1u);
  EXPECT_EQ(output[0], '\r');
  size_t colon = output.rfind(": 50%");
  ASSERT_NE(colon, std::string::npos) << output;
  EXPECT_EQ(colon + 5, output.size());
  std::string shown = output.substr(1, colon - 1);
  EXPECT_LE(shown.size(), 39u) << shown;
  EXPECT_NE(shown.find("..."), std::string::npos) << shown;
  ASSERT_GE(shown.size(), 16u);
  EXPECT_EQ(shown.substr(shown.size() - 16), "\\report-2024.txt") << shown;
  EXPECT_EQ(shown.substr(0, 3), "C:\\") << shown;
  // An unfinished line keeps its path for the next one.
  EXPECT_EQ(console.m_strProgress, kLongPath);
}

TEST(ProgressLine, LongPathRedirectedIsWrittenWholeAndOnlyWithTheFinalText) {
  ProgressConsole console(false);
  console.m_strProgress = kLongPath;
  OutputCapture capture;
  console.WriteProgress(u"50%%");
  console.WriteProgress(u"done\n");
  EXPECT_EQ(capture.Finish(), kLongPathText + ": done\n");
  EXPECT_EQ(console.m_nLineWrites, 1u);
}

TEST(ProgressLine, FinalLineOnConsoleErasesAndRewritesThePathWithTheText) {
  ProgressConsole console(true);
  console.m_strProgress = u"C:\\short\\file.txt";
  OutputCapture capture;
  console.WriteProgress(u"copying");
  console.WriteProgress(u"copied\n");
  EXPECT_EQ(capture.Finish(), "\rC:\\short\\file.txt: copying" + kErase +
                                  "\rC:\\short\\file.txt: copied\n");
  EXPECT_EQ(console.m_nLineWrites, 3u);
}

TEST(ProgressLine, AfterTheFinalLineThePathIsGone) {
  ProgressConsole console(false);
  console.m_strProgress = u"C:\\a\\b.txt";
  OutputCapture capture;
  console.WriteProgress(u"first\n");
  console.WriteProgress(u"second\n");
  EXPECT_EQ(capture.Finish(), "C:\\a\\b.txt: first\nsecond\n");
  EXPECT_TRUE(console.m_strProgress.empty());
}

TEST(ProgressLine, OrdinaryMessageFinishesThePendingLineFirst) {
  ProgressConsole console(false);
  console.m_strProgress = u"C:\\a\\b.txt";
  OutputCapture capture;
  console.WriteLine(u"next");
  EXPECT_EQ(capture.Finish(), "C:\\a\\b.txt: \nnext\n");
  EXPECT_TRUE(console.m_strProgress.empty());
}

TEST(ProgressLine, AtLevelProgressAMessageFinishesTheLineButIsNotWritten) {
  ProgressConsole console(true);
  console.m_dwDisplayLevel = kDisplayProgress;
  console.m_strProgress = u"C:\\a\\b.txt";
  OutputCapture capture;
  console.WriteLine(u"not shown");
  EXPECT_EQ(capture.Finish(), kErase + "\rC:\\a\\b.txt: \n");
  EXPECT_TRUE(console.m_strProgress.empty());
}

TEST(ProgressLine, AtLevelNoneNothingIsWrittenButTheLineStillEnds) {
  ProgressConsole console(true);
  console.m_dwDisplayLevel = kDisplayNone;
  console.m_strProgress = u"C:\\a\\b.txt";
  OutputCapture capture;
  console.WriteProgress(u"working");
  console.WriteProgress(u"done\n");
  console.ClearProgressLine();
  EXPECT_EQ(capture.Finish(), "");
  EXPECT_EQ(console.m_nLineWrites, 0u);
  EXPECT_TRUE(console.m_strProgress.empty());
}

TEST(ProgressLine, ClearProgressLineErasesOnlyOnAConsole) {
  ProgressConsole on_console(true);
  ProgressConsole redirected(false);
  OutputCapture capture;
  redirected.ClearProgressLine();
  on_console.ClearProgressLine();
  EXPECT_EQ(capture.Finish(), kErase);
  EXPECT_EQ(on_console.m_nLineWrites, 1u);
  EXPECT_EQ(redirected.m_nLineWrites, 0u);
}

TEST(ProgressLine, WidthBeyondMaxPathStaysWithinTheBuffer) {
  ProgressConsole console(true);
  console.m_nProgressWidth = 1000;
  std::u16string path = u"C:";
  for (int i = 0; i < 40; ++i) path += u"\\folder" + std::u16string(1, static_cast<char16_t>(u'a' + i % 26));
  path += u"\\name.txt";
  ASSERT_GT(path.size(), 260u);
  console.m_strProgress = path;
  OutputCapture capture;
  console.WriteProgress(u"x");
  std::string output = capture.Finish();
  ASSERT_GE(output.size(), 4u);
  EXPECT_LE(output.size() - 4, 259u);  // "\r", the path, ": x"
  EXPECT_EQ(output.substr(output.size() - 11), "name.txt: x");
}

TEST(ConsoleProgressPath, SetsThePathForItsScope) {
  ProgressConsole console(false);
  {
    CConsoleProgressPath progress(&console, u"C:\\item.txt");
    EXPECT_EQ(console.m_strProgress, u"C:\\item.txt");
  }
  EXPECT_TRUE(console.m_strProgress.empty());
  console.m_strProgress = u"C:\\other.txt";
  console.ClearProgress();
  EXPECT_TRUE(console.m_strProgress.empty());
}

}  // namespace
}  // namespace monctl
