// Questions answered by one key, through a pseudo-terminal: the child
// process asks, the test types. The test keeps its own descriptor of the
// terminal so that it can look at the terminal's mode after the child has
// ended.
#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "framework/console/base_console.h"
#include "framework/process/crash_handler.h"

namespace monctl {
namespace {

class PromptConsole : public CBaseConsole {
 public:
  PromptConsole() {
    // One level of indentation shows where a line start is decorated.
    m_nIndent = 1;
  }
  std::u16string GetDescription() override { return u"Asks questions."; }
  std::u16string GetSyntax() override { return u""; }
};

// Asks "Continue?" with `answers` and writes the answer on the next line;
// the answer is also the exit status.
int Ask(uint32_t answers, uint32_t display_level = kDisplayNormal) {
  PromptConsole console;
  console.m_dwDisplayLevel = display_level;
  int32_t answer = console.WriteMessage(u"Continue?", MWF_QUESTION | answers, 0, {});
  console.WriteLine(u"[answer %d]", answer);
  return answer;
}

struct Outcome {
  std::string output;
  int status = -1;  // as waitpid reports it
  bool ended = false;
};

class Session {
 public:
  // Runs `body` in a child whose terminal is a new pseudo-terminal; its
  // standard input is a pipe holding `piped_input` instead when given.
  explicit Session(std::function<int()> body, std::optional<std::string> piped_input = {}) {
    if (openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0) return;
    // Line ends as written, without the carriage return the terminal adds.
    termios mode{};
    tcgetattr(slave_, &mode);
    mode.c_oflag &= ~static_cast<tcflag_t>(ONLCR);
    tcsetattr(slave_, TCSANOW, &mode);
    int pipe_fds[2] = {-1, -1};
    if (piped_input && pipe(pipe_fds) != 0) return;

    pid_ = fork();
    if (pid_ == 0) {
      setsid();
      ioctl(slave_, TIOCSCTTY, 0);
      dup2(slave_, STDIN_FILENO);
      dup2(slave_, STDOUT_FILENO);
      if (piped_input) {
        dup2(pipe_fds[0], STDIN_FILENO);
        close(pipe_fds[0]);
        close(pipe_fds[1]);
      }
      close(master_);
      close(slave_);
      _exit(body());
    }
    if (piped_input) {
      close(pipe_fds[0]);
      ssize_t written = write(pipe_fds[1], piped_input->data(), piped_input->size());
      (void)written;
      close(pipe_fds[1]);
    }
  }

  ~Session() {
    if (pid_ > 0 && !ended_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
  }

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }

  // Waits until the child has switched the terminal to single-key input.
  bool WaitForKeyMode() {
    for (int i = 0; i < 20000; ++i) {  // a guard against a hang, not a time limit
      if (!LineMode()) return true;
      usleep(500);
    }
    return false;
  }

  void Type(const std::string& keys) {
    ssize_t written = write(master_, keys.data(), keys.size());
    (void)written;
  }

  // Waits for the child to end and collects what it wrote.
  Outcome Finish() {
    Outcome outcome;
    for (int i = 0; i < 20000 && !ended_; ++i) {  // a guard against a hang
      ended_ = waitpid(pid_, &outcome.status, WNOHANG) == pid_;
      if (!ended_) usleep(500);
    }
    outcome.ended = ended_;
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    char buffer[4096];
    ssize_t n;
    while ((n = read(master_, buffer, sizeof(buffer))) > 0) outcome.output.append(buffer, n);
    return outcome;
  }

  // Line editing and echo, as the terminal had them before the child.
  bool LineMode() const {
    termios mode{};
    tcgetattr(slave_, &mode);
    return (mode.c_lflag & (ICANON | ECHO)) == (ICANON | ECHO);
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  pid_t pid_ = -1;
  bool ended_ = false;
};

bool ExitedWith(const Outcome& o, int code) {
  return o.ended && WIFEXITED(o.status) && WEXITSTATUS(o.status) == code;
}
bool KilledBy(const Outcome& o, int signal) {
  return o.ended && WIFSIGNALED(o.status) && WTERMSIG(o.status) == signal;
}

// ---- answers from the terminal --------------------------------------------

TEST(PromptOnTerminal, IgnoredKeysAreNotEchoedAndTheAnswerIs) {
  Session session([] { return Ask(MWA_YES | MWA_NO); });
  ASSERT_TRUE(session.started());
  ASSERT_TRUE(session.WaitForKeyMode());
  session.Type("x");
  session.Type("q1 ");
  session.Type("Y");
  Outcome outcome = session.Finish();

  EXPECT_TRUE(ExitedWith(outcome, 6)) << outcome.status;
  EXPECT_EQ(outcome.output, "  Continue? (Yes/No): Y\n  [answer 6]\n");
  EXPECT_TRUE(session.LineMode());
}

TEST(PromptOnTerminal, LowerCaseKeyAnswersAndIsEchoedAsTyped) {
  Session session([] { return Ask(MWA_YES | MWA_NO); });
  ASSERT_TRUE(session.WaitForKeyMode());
  session.Type("n");
  Outcome outcome = session.Finish();

  EXPECT_TRUE(ExitedWith(outcome, 7));
  EXPECT_EQ(outcome.output, "  Continue? (Yes/No): n\n  [answer 7]\n");
}

TEST(PromptOnTerminal, OnlyTheAllowedAnswersEndTheWait) {
  Session session([] { return Ask(MWA_OK); });
  ASSERT_TRUE(session.WaitForKeyMode());
  session.Type("ynca");
  session.Type("O");
  Outcome outcome = session.Finish();

  EXPECT_TRUE(ExitedWith(outcome, 1));
  EXPECT_EQ(outcome.output, "  Continue? (Ok): O\n  [answer 1]\n");
}

TEST(PromptOnTerminal, ChoicesAreListedInTableOrder) {
  Session session([] { return Ask(MWA_CANCEL | MWA_RETRY | MWA_IGNORE); });
  ASSERT_TRUE(session.WaitForKeyMode());
  session.Type("c");
  Outcome outcome = session.Finish();

  EXPECT_TRUE(ExitedWith(outcome, 2));
  EXPECT_EQ(outcome.output, "  Continue? (Retry/Ignore/Cancel): c\n  [answer 2]\n");
}

TEST(PromptOnTerminal, CursorKeysDoNotAnswer) {
  // Up is "Esc [ A" and down "Esc O B": neither is an A for Abort.
  Session session([] { return Ask(MWA_ABORT | MWA_RETRY); });
  ASSERT_TRUE(session.WaitForKeyMode());
  session.Type("\x1b[A");
  session.Type("\x1bOB");
  session.Type("\x1b[1;5A");
  session.Type("r");
  Outcome outcome = session.Finish();

  EXPECT_TRUE(ExitedWith(outcome, 4));
  EXPECT_EQ(outcome.output, "  Continue? (Abort/Retry): r\n  [answer 4]\n");
}

TEST(PromptOnTerminal, KeysAreDecodedFromUtf8) {
  Session session([] { return Ask(MWA_YES | MWA_NO); });
  ASSERT_TRUE(session.WaitForKeyMode());
  session.Type("\xc3\xa9");          // é
  session.Type("\xf0\x9f\x98\x80");  // U+1F600, two UTF-16 units
  session.Type("\xe2\x80");          // the start of a three-byte sequence...
  session.Type("y");                 // ...cut short by y, which still counts
  Outcome outcome = session.Finish();

  EXPECT_TRUE(ExitedWith(outcome, 6));
  EXPECT_EQ(outcome.output, "  Continue? (Yes/No): y\n  [answer 6]\n");
}

TEST(PromptOnTerminal, EndOfFileKeyStopsTheWaitWithoutAnswer) {
  Session session([] { return Ask(MWA_YES | MWA_NO); });
  ASSERT_TRUE(session.WaitForKeyMode());
  session.Type("\x04");  // Ctrl+D
  Outcome outcome = session.Finish();

  EXPECT_TRUE(ExitedWith(outcome, 0));
  // Nothing was echoed, so the line stays open.
  EXPECT_EQ(outcome.output, "  Continue? (Yes/No): [answer 0]\n");
  EXPECT_TRUE(session.LineMode());
}

TEST(PromptOnTerminal, WithoutAnswersThereIsNoWait) {
  Session session([] { return Ask(0); });
  Outcome outcome = session.Finish();

  EXPECT_TRUE(ExitedWith(outcome, 0));
  EXPECT_EQ(outcome.output, "  Continue? (): [answer 0]\n");
}

TEST(PromptOnTerminal, BelowLevelNormalNothingIsWrittenButTheKeyIsRead) {
  Session session([] { return Ask(MWA_YES | MWA_NO, kDisplayProgress); });
  ASSERT_TRUE(session.WaitForKeyMode());
  session.Type("zN");
  Outcome outcome = session.Finish();

  EXPECT_TRUE(ExitedWith(outcome, 7));
  EXPECT_EQ(outcome.output, "");
}

// ---- the terminal's mode on the ways out -----------------------------------

TEST(PromptTerminalMode, InterruptKeyRestoresLineModeAndEndsTheProcess) {
  Session session([] { return Ask(MWA_YES | MWA_NO); });
  ASSERT_TRUE(session.WaitForKeyMode());
  EXPECT_FALSE(session.LineMode());
  session.Type("\x03");  // Ctrl+C
  Outcome outcome = session.Finish();

  EXPECT_TRUE(KilledBy(outcome, SIGINT)) << outcome.status;
  EXPECT_TRUE(session.LineMode());
}

TEST(PromptTerminalMode, TerminationRestoresLineMode) {
  Session session([] { return Ask(MWA_YES | MWA_NO); });
  ASSERT_TRUE(session.WaitForKeyMode());
  kill(session.pid(), SIGTERM);
  Outcome outcome = session.Finish();

  EXPECT_TRUE(KilledBy(outcome, SIGTERM)) << outcome.status;
  EXPECT_TRUE(session.LineMode());
}

TEST(PromptTerminalMode, CrashRestoresLineMode) {
  char pattern[] = "/tmp/monctl-prompt-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  std::filesystem::path state = pattern;

  Session session([&] {
    setenv("XDG_STATE_HOME", state.c_str(), 1);
    InstallCrashHandler();
    return Ask(MWA_YES | MWA_NO);
  });
  ASSERT_TRUE(session.WaitForKeyMode());
  kill(session.pid(), SIGSEGV);
  Outcome outcome = session.Finish();

  EXPECT_TRUE(ExitedWith(outcome, 255)) << outcome.status;
  EXPECT_TRUE(session.LineMode());
  size_t dumps = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(state)) {
    if (entry.is_regular_file()) ++dumps;
  }
  EXPECT_EQ(dumps, 1u);
  std::filesystem::remove_all(state);
}

// ---- answers from standard input that is not a terminal ------------------

TEST(PromptFromInput, AnswerKeysAreReadFromTheInput) {
  Session session([] { return Ask(MWA_YES | MWA_NO); }, std::string("x\n\xc3\xa9N"));
  Outcome outcome = session.Finish();

  EXPECT_TRUE(ExitedWith(outcome, 7));
  EXPECT_EQ(outcome.output, "  Continue? (Yes/No): N\n  [answer 7]\n");
}

TEST(PromptFromInput, EndOfInputStopsTheWait) {
  Session session([] { return Ask(MWA_YES | MWA_NO); }, std::string("abc"));
  Outcome outcome = session.Finish();

  EXPECT_TRUE(ExitedWith(outcome, 0));
  EXPECT_EQ(outcome.output, "  Continue? (Yes/No): [answer 0]\n");
}

}  // namespace
}  // namespace monctl
