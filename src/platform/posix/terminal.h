// The terminal state that single-key input changes, for the paths that end
// the process behind its back.
#pragma once

namespace monctl::platform {

// Puts the terminal on standard input back into the mode it had before
// single-key input changed it; does nothing when it is unchanged.
// Async-signal-safe: the fatal-signal handler calls it.
void RestoreKeyInputTerminal();

}  // namespace monctl::platform
