// Questions answered by one key, through a pseudo-terminal: a child process
// asks, the test types. The test keeps its own descriptor of the terminal
// so that it can look at the terminal's mode after the child has ended.
#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "framework/console/base_console.h"
#include "framework/process/crash_handler.h"

namespace monctl {
namespace {

class PromptConsole : public CBaseConsole {
 public:
  // One level of indentation shows where a line start is decorated.
  PromptConsole() { m_nIndent = 1; }
  std::u16string GetDescription() override { return u"Asks questions."; }
  std::u16string GetSyntax() override { return u""; }
};

// Line editing and echo, as the terminal had them before the child.
bool LineMode(int terminal) {
  termios mode{};
  tcgetattr(terminal, &mode);
  return (mode.c_lflag & (ICANON | ECHO)) == (ICANON | ECHO);
}

TEST(Prompt, AnswersAndTheTerminalOnEveryWayOut) {
  const std::string kAsked = "  Continue? (Yes/No): ";
  struct Case {
    uint32_t answers;
    bool piped;         // standard input is a pipe holding `input`; else `input` is typed
    std::string input;  // once the terminal takes single keys (there is no wait without answers)
    int signal;         // sent after the input
    int status;         // the exit code, or minus the signal that ended the child
    std::string output;
    uint32_t level = kDisplayNormal;
  };
  const Case cases[] = {
      {MWA_YES | MWA_NO, false, "xq1 Y", 0, 6, kAsked + "Y\n  [answer 6]\n"},
      {MWA_OK, false, "yncaO", 0, 1, "  Continue? (Ok): O\n  [answer 1]\n"},
      {MWA_CANCEL | MWA_RETRY | MWA_IGNORE, false, "c", 0, 2, "  Continue? (Retry/Ignore/Cancel): c\n  [answer 2]\n"},
      // Up is "Esc [ A" and down "Esc O B": neither is an A for Abort.
      {MWA_ABORT | MWA_RETRY, false, "\x1b[A\x1bOB\x1b[1;5Ar", 0, 4, "  Continue? (Abort/Retry): r\n  [answer 4]\n"},
      // UTF-8: e acute, U+1F600 (two UTF-16 units), a sequence cut short by y, which still counts.
      {MWA_YES | MWA_NO, false, "\xc3\xa9\xf0\x9f\x98\x80\xe2\x80y", 0, 6, kAsked + "y\n  [answer 6]\n"},
      // The end-of-file key stops the wait without an answer; nothing was echoed, so the line stays open.
      {MWA_YES | MWA_NO, false, "\x04", 0, 0, kAsked + "[answer 0]\n"},
      {0, false, "", 0, 0, "  Continue? (): [answer 0]\n"},
      {MWA_YES | MWA_NO, false, "zN", 0, 7, "", kDisplayProgress},
      // The terminal's mode comes back on the ways out: interrupt key, termination, crash (with a dump).
      {MWA_YES | MWA_NO, false, "\x03", 0, -SIGINT, kAsked},
      {MWA_YES | MWA_NO, false, "", SIGTERM, -SIGTERM, kAsked},
      {MWA_YES | MWA_NO, false, "", SIGSEGV, 255, kAsked},
      // Standard input that is not a terminal: the answer keys are read from it, UTF-8 too.
      {MWA_YES | MWA_NO, true, "x\n\xc3\xa9N", 0, 7, kAsked + "N\n  [answer 7]\n"},
      {MWA_YES | MWA_NO, true, "abc", 0, 0, kAsked + "[answer 0]\n"},
  };
  char pattern[] = "/tmp/monctl-prompt-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::filesystem::path state = std::filesystem::path(pattern) / "state";  // made by a crash only
  for (const Case& c : cases) {
    int master = -1, slave = -1, input[2] = {-1, -1};
    ASSERT_EQ(openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    ASSERT_EQ(pipe(input), 0);
    termios mode{};  // line ends as written, without the carriage return the terminal adds
    tcgetattr(slave, &mode);
    mode.c_oflag &= ~static_cast<tcflag_t>(ONLCR);
    tcsetattr(slave, TCSANOW, &mode);
    const pid_t pid = fork();
    if (pid == 0) {
      alarm(10);  // a guard against a hang, not a time limit
      setsid();
      ioctl(slave, TIOCSCTTY, 0);
      dup2(c.piped ? input[0] : slave, STDIN_FILENO);
      dup2(slave, STDOUT_FILENO);
      close(input[1]);  // the end of the piped input is seen only when no writer is left
      setenv("XDG_STATE_HOME", state.c_str(), 1);
      InstallCrashHandler();
      PromptConsole console;
      console.m_dwDisplayLevel = c.level;
      const int32_t answer = console.WriteMessage(u"Continue?", MWF_QUESTION | c.answers, 0, {});
      console.WriteLine(u"[answer %d]", answer);
      _exit(answer);
    }
    close(input[0]);
    const std::string& typed = c.input;
    if (c.piped) (void)!write(input[1], typed.data(), typed.size());
    close(input[1]);
    // Waits until the child has switched the terminal to single-key input
    // (a guard against a hang, not a time limit).
    for (int i = 0; i < 20000 && !c.piped && c.answers != 0 && LineMode(slave); ++i) usleep(500);
    if (!c.piped) (void)!write(master, typed.data(), typed.size());
    if (c.signal != 0) kill(pid, c.signal);
    int status = 0;
    waitpid(pid, &status, 0);
    std::string output;
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    char buffer[4096];
    for (ssize_t n; (n = read(master, buffer, sizeof(buffer))) > 0;) output.append(buffer, n);

    const std::string name = testing::PrintToString(c.output + " after " + typed);
    EXPECT_TRUE(c.status < 0 ? WIFSIGNALED(status) && WTERMSIG(status) == -c.status
                             : WIFEXITED(status) && WEXITSTATUS(status) == c.status)
        << name << ": status " << status;
    EXPECT_EQ(output, c.output) << name;
    EXPECT_TRUE(LineMode(slave)) << name;
    EXPECT_EQ(std::filesystem::exists(state), c.signal == SIGSEGV) << name;  // with the dump
    std::filesystem::remove_all(state);
    close(master);
    close(slave);
  }
  std::filesystem::remove_all(pattern);
}

}  // namespace
}  // namespace monctl
