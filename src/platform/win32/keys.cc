// Key input on Windows: the run-time library's console key functions.
// _getwch reads key presses without echo and without line editing whatever
// the console's mode, so a question needs no mode of its own.
#include "platform/keys.h"

#include <conio.h>
#include <wchar.h>

namespace monctl::platform {

KeyInputMode::KeyInputMode() : m_bOuter(false) {}

KeyInputMode::~KeyInputMode() = default;

int ReadWideKey() {
  wint_t key = _getwch();
  return key == WEOF ? -1 : static_cast<int>(key);
}

bool KeyWaiting() { return _kbhit() != 0; }

int ReadKey() { return _getch(); }

}  // namespace monctl::platform
