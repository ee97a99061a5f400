// Reads a scenario from its JSON text. Every problem is reported as one
// line that names the key path ("displays[1].physical[0].brightness") and
// what was expected; nothing is defaulted silently and unknown keys are
// refused.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/sim/scenario.h"

namespace monctl::sim {

// Parses scenario JSON. On failure returns false, leaves `scenario` as it
// was and sets `error` to "<key path>: <problem>" or "invalid JSON: ...".
bool ParseScenario(std::string_view json, Scenario* scenario, std::string* error);

// The largest scenario file: 16 MiB.
constexpr size_t kMaxScenarioSize = size_t{16} << 20;

// Reads and parses the file at `path`, which must be a regular file of at
// most kMaxScenarioSize bytes. The error names the problem, not the file:
// "cannot read the file: <reason>" or what ParseScenario reports.
bool LoadScenarioFile(const std::string& path, Scenario* scenario, std::string* error);

// The built-in demo scenario, used when no scenario file is named.
std::string_view DemoScenarioText();
Scenario DemoScenario();

}  // namespace monctl::sim
