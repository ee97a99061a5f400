// The keys that the power step finds waiting, on a pseudo-terminal as
// standard input and on standard input that is not a terminal.
#include "platform/keys.h"

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace monctl::platform {
namespace {

// Standard input is `fd` while the object lives.
class StandardInput {
 public:
  explicit StandardInput(int fd) : saved_(::dup(STDIN_FILENO)) { ::dup2(fd, STDIN_FILENO); }
  ~StandardInput() {
    ::dup2(saved_, STDIN_FILENO);
    ::close(saved_);
  }

 private:
  int saved_;
};

// Typed keys reach the terminal's input a little later.
bool KeyArrives() {
  for (int i = 0; i < 2000; ++i) {  // a guard against a hang, not a time limit
    if (KeyWaiting()) return true;
    ::usleep(1000);
  }
  return false;
}

TEST(KeysTest, KeysTypedWithoutALineEndAreWaitingAndReadOneByOne) {
  int master = -1;
  int slave = -1;
  ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  {
    StandardInput input(slave);
    EXPECT_FALSE(KeyWaiting());
    ASSERT_EQ(::write(master, "ab", 2), 2);
    ASSERT_TRUE(KeyArrives());
    EXPECT_EQ(ReadKey(), 'a');
    EXPECT_TRUE(KeyWaiting());
    EXPECT_EQ(ReadKey(), 'b');
    EXPECT_FALSE(KeyWaiting());
  }
  ::close(master);
  ::close(slave);
}

TEST(KeysTest, NoKeyIsEverWaitingWhenStandardInputIsNotATerminal) {
  const int null = ::open("/dev/null", O_RDONLY);
  ASSERT_GE(null, 0);
  {
    StandardInput input(null);
    EXPECT_FALSE(KeyWaiting());
    EXPECT_EQ(ReadKey(), -1);
  }
  ::close(null);
}

}  // namespace
}  // namespace monctl::platform
