// The real function of platform/files.h for the native build that a test
// can make fail; the platform's own forwards to it from sim/files.cc.
#pragma once

#include <cstddef>
#include <string>

#include "platform/files.h"

namespace monctl::platform::posix {

decltype(platform::SHGetFolderPathW) SHGetFolderPathW;

// The user's local state folder (UTF-8) and the length of its part that
// must exist already: the parent of $XDG_STATE_HOME, or the home folder of
// $HOME/.local/state, which is never created. False when there is none.
bool LocalStateFolder(std::string* folder, size_t* existing);

}  // namespace monctl::platform::posix
