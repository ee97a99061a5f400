// How monctl-sim finds its display stack: the scenario file named by
// MONCTL_SIM_SCENARIO (the built-in demo when unset or empty) and the call
// log named by MONCTL_SIM_LOG (none when unset or empty).
#pragma once

#include <string>

namespace monctl::sim {

// The exit status of monctl-sim when its scenario cannot be used. The tool
// itself never ends with it.
constexpr int kScenarioErrorStatus = 125;

// Loads the scenario that the environment names and installs a simulator
// for it. On failure returns false and sets `error` to one line,
// "scenario <file>: <problem>" or "call log <file>: <problem>".
bool InstallFromEnvironment(std::string* error);

}  // namespace monctl::sim
