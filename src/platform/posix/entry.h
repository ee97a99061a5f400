// Start-up of the native programs: SIGPIPE ignored, the UTF-8 command line
// as UTF-16.
#pragma once

namespace monctl::platform {

// Ignores SIGPIPE, converts the arguments to writable UTF-16 texts and runs
// `wide_main`.
int RunWideMain(int argc, char** argv, int (*wide_main)(int, char16_t**));

}  // namespace monctl::platform
