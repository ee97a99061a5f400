// The real functions of platform/console.h for the native build that a
// test can make fail; the platform's own forward to them from
// sim/console.cc.
#pragma once

#include "platform/console.h"

namespace monctl::platform::posix {

decltype(platform::IsConsole) IsConsole;
decltype(platform::SetTranslationMode) SetTranslationMode;

}  // namespace monctl::platform::posix
