// Key input for the native build. On a terminal the keys are read with
// line editing and echo switched off (signals such as Ctrl+C stay on),
// UTF-8 decoded, and the escape sequence of a function or cursor key counts
// as one Esc key. When standard input is not a terminal the answer keys are
// read from it as they come, also UTF-8, and no key press is ever waiting.
#include "platform/keys.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>

#include "platform/posix/terminal.h"

namespace monctl::platform {
namespace {

constexpr int kEscape = 0x1B;
constexpr int kReplacement = 0xFFFD;

// The terminal's mode before single-key input changed it. `g_changed` is
// set while `g_saved` has to be put back.
termios g_saved{};
std::atomic<bool> g_changed{false};
int g_depth = 0;

// Signals that end the process and would otherwise leave the terminal
// without echo. Their previous actions are put back before they are raised
// again.
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
struct sigaction g_previous[std::size(kEndingSignals)];
bool g_caught[std::size(kEndingSignals)] = {};

// What a call read ahead for the next one: the low half of a surrogate
// pair, or a byte that did not belong to the sequence before it.
int g_pending_unit = -1;
int g_pending_byte = -1;
// ReadKey found the end of the terminal's input (it was hung up).
bool g_keys_ended = false;

void OnEndingSignal(int signal) {
  int saved_errno = errno;
  RestoreKeyInputTerminal();
  for (size_t i = 0; i < std::size(kEndingSignals); ++i) {
    if (kEndingSignals[i] != signal || !g_caught[i]) continue;
    ::sigaction(signal, &g_previous[i], nullptr);
    g_caught[i] = false;
  }
  // Blocked while this handler runs; delivered with the previous action
  // as soon as it returns.
  ::raise(signal);
  errno = saved_errno;
}

void CatchEndingSignals() {
  for (size_t i = 0; i < std::size(kEndingSignals); ++i) {
    if (g_caught[i]) continue;
    struct sigaction current {};
    if (::sigaction(kEndingSignals[i], nullptr, &current) != 0) continue;
    // An ignored signal (nohup, a background job) stays ignored.
    if ((current.sa_flags & SA_SIGINFO) == 0 && current.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = &OnEndingSignal;
    sigemptyset(&action.sa_mask);
    if (::sigaction(kEndingSignals[i], &action, &g_previous[i]) == 0) g_caught[i] = true;
  }
}

bool EnterKeyMode() {
  termios mode{};
  if (::isatty(STDIN_FILENO) != 1 || ::tcgetattr(STDIN_FILENO, &mode) != 0) return false;
  g_saved = mode;
  CatchEndingSignals();
  termios keys = mode;
  keys.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHONL);
  keys.c_cc[VMIN] = 1;
  keys.c_cc[VTIME] = 0;
  g_changed.store(true);
  if (::tcsetattr(STDIN_FILENO, TCSANOW, &keys) != 0) {
    g_changed.store(false);
    return false;
  }
  return true;
}

// One byte of standard input; -1 at its end or on an error.
int ReadByte() {
  unsigned char byte = 0;
  for (;;) {
    ssize_t n = ::read(STDIN_FILENO, &byte, 1);
    if (n == 1) return byte;
    if (n < 0 && errno == EINTR) continue;
    return -1;
  }
}

int NextByte() {
  if (g_pending_byte >= 0) {
    int byte = g_pending_byte;
    g_pending_byte = -1;
    return byte;
  }
  return ReadByte();
}

// Whether another byte can be read at once: the rest of an escape sequence
// arrives together with its Esc.
bool ByteReady() {
  pollfd input{STDIN_FILENO, POLLIN, 0};
  return ::poll(&input, 1, 0) == 1 && (input.revents & POLLIN) != 0;
}

// After an Esc on a terminal: drops the rest of a CSI ("Esc [" ... final
// byte) or SS3 ("Esc O" and one byte) sequence. Any other key after the Esc
// (Alt+key) is kept for the next read.
void SkipEscapeSequence() {
  if (!ByteReady()) return;
  int next = ReadByte();
  if (next == '[') {
    while (ByteReady()) {
      int c = ReadByte();
      if (c < 0 || (c >= 0x40 && c <= 0x7E)) break;
    }
  } else if (next == 'O') {
    if (ByteReady()) ReadByte();
  } else if (next >= 0) {
    g_pending_byte = next;
  }
}

// One code point from UTF-8 input; -1 at the end of input. An ill-formed
// sequence gives U+FFFD.
int ReadCodePoint() {
  int lead = NextByte();
  if (lead < 0x80) return lead;  // ASCII or -1
  int count;
  char32_t cp;
  if ((lead & 0xE0) == 0xC0) {
    count = 1;
    cp = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    count = 2;
    cp = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    count = 3;
    cp = lead & 0x07;
  } else {
    return kReplacement;
  }
  for (int i = 0; i < count; ++i) {
    int next = ReadByte();
    if (next < 0) return kReplacement;
    if ((next & 0xC0) != 0x80) {
      g_pending_byte = next;
      return kReplacement;
    }
    cp = (cp << 6) | static_cast<char32_t>(next & 0x3F);
  }
  static constexpr char32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
  if (cp < kMinimum[count] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return kReplacement;
  return static_cast<int>(cp);
}

}  // namespace

void RestoreKeyInputTerminal() {
  if (g_changed.exchange(false)) ::tcsetattr(STDIN_FILENO, TCSANOW, &g_saved);
}

KeyInputMode::KeyInputMode() : m_bOuter(g_depth++ == 0) {
  if (m_bOuter) EnterKeyMode();
}

KeyInputMode::~KeyInputMode() {
  --g_depth;
  if (m_bOuter) RestoreKeyInputTerminal();
}

int ReadWideKey() {
  if (g_pending_unit >= 0) {
    int unit = g_pending_unit;
    g_pending_unit = -1;
    return unit;
  }
  KeyInputMode mode;  // for a caller that has not set it up
  bool terminal = g_changed.load();
  int cp = ReadCodePoint();
  if (cp < 0) return -1;
  if (terminal) {
    // The terminal's end-of-file key (Ctrl+D) ends the input as it would
    // in line mode.
    if (g_saved.c_cc[VEOF] != 0 && cp == g_saved.c_cc[VEOF]) return -1;
    if (cp == kEscape) SkipEscapeSequence();
  }
  if (cp >= 0x10000) {
    cp -= 0x10000;
    g_pending_unit = 0xDC00 + (cp & 0x3FF);
    return 0xD800 + (cp >> 10);
  }
  return cp;
}

bool KeyWaiting() {
  if (g_keys_ended || ::isatty(STDIN_FILENO) != 1) return false;
  KeyInputMode mode;  // keys typed without a line end count too
  return g_pending_byte >= 0 || ByteReady();
}

int ReadKey() {
  if (::isatty(STDIN_FILENO) != 1) return -1;
  KeyInputMode mode;
  const int key = NextByte();
  if (key < 0) g_keys_ended = true;
  return key;
}

}  // namespace monctl::platform
