// Single-key input for the length of a question.
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

}  // namespace monctl::platform
