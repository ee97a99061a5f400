// Key input: single keys for the length of a question, and the keys that
// the power step finds waiting.
#pragma once

namespace monctl::platform {

// While it lives, keys are read one at a time and not echoed. Natively the
// terminal on standard input leaves line editing and echo; its mode is
// restored when the object is destroyed, and also when the process ends
// behind the object's back (SIGINT, SIGTERM, SIGHUP and SIGQUIT are caught
// for that, and the crash handler restores it). On Windows _getwch reads
// keys that way anyway, and nothing changes. Objects may nest; only the
// outermost one changes the mode.
class KeyInputMode {
 public:
  KeyInputMode();
  ~KeyInputMode();
  KeyInputMode(const KeyInputMode&) = delete;
  KeyInputMode& operator=(const KeyInputMode&) = delete;

 private:
  bool m_bOuter;
};

// _getwch: reads one key press as a UTF-16 unit without echo; -1 (WEOF)
// when no console input is available.
int ReadWideKey();

// _kbhit and _getch: a key press is waiting; read one without echo.
// Natively they read the terminal on standard input; when standard input
// is not a terminal no key is ever waiting and ReadKey returns -1.
bool KeyWaiting();
int ReadKey();

}  // namespace monctl::platform
