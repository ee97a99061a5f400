// The simulated display stack behind the test-only dxva2.dll: the scenario
// that the environment names, served for the display monitors that Wine's
// own window manager enumerates. Display n of the scenario serves the n-th
// display monitor of EnumDisplayMonitors (sim::DisplayOf and
// sim::MonitorHandleOf of platform/sim/backend.h, defined here for Wine).
#pragma once

#include <windows.h>

#include <string>

namespace monctl::wine {

// The exit status of a process whose scenario cannot be used, the same as
// monctl-sim's.
constexpr UINT kScenarioErrorStatus = 125;

// Loads the scenario file named by MONCTL_SIM_SCENARIO (the built-in demo
// scenario when unset or empty) and installs a simulator for it, with the
// call log named by MONCTL_SIM_LOG. Either path may be a Windows path or a
// Unix path (from the root, "/..."), which Wine maps to its DOS name. On
// failure returns false and sets `error` to one line, "scenario <file>:
// <problem>" or "call log <file>: <problem>", with <file> as the variable
// gives it.
bool LoadFromEnvironment(std::string* error);

// At the end of the process: what the program has not given back. Appends
// one line to the call log (and to standard error) when physical monitor
// handles or OPM video outputs are still held, so that a call log check
// sees the leak; writes nothing when everything was released.
void ReportUnreleased();

}  // namespace monctl::wine
