// Single-key input on Windows: _getwch (see console.cc) reads key presses
// without echo and without line editing whatever the console's mode, so a
// question needs no mode of its own.
#include "platform/keys.h"

namespace monctl::platform {

KeyInputMode::KeyInputMode() : m_bOuter(false) {}

KeyInputMode::~KeyInputMode() = default;

}  // namespace monctl::platform
