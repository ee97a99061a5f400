// The real function of platform/system.h for the native build that a test
// can make fail; the platform's own forwards to it from sim/system.cc.
#pragma once

#include "platform/system.h"

namespace monctl::platform::posix {

decltype(platform::FormatSystemMessage) FormatSystemMessage;

}  // namespace monctl::platform::posix
