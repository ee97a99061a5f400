// The real function of platform/files.h for the native build that a test
// can make fail; the platform's own forwards to it from sim/files.cc.
#pragma once

#include "platform/files.h"

namespace monctl::platform::posix {

decltype(platform::SHGetFolderPathW) SHGetFolderPathW;

}  // namespace monctl::platform::posix
