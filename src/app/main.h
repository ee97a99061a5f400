// The tool's entry: one run of the tool on a UTF-16 command line.
#pragma once

namespace monctl {

// Exit codes.
constexpr int kExitSuccess = 0;
constexpr int kExitUsage = 1;
constexpr int kExitSelection = 2;
constexpr int kExitBrightness = 3;
constexpr int kExitContrast = 4;
constexpr int kExitDisplaySettings = 5;
constexpr int kExitDdc = 6;  // a VCP, input source or capabilities string step
constexpr int kExitCrash = -1;

int wmain(int argc, char16_t* argv[]);

}  // namespace monctl
