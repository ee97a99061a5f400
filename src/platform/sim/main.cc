// monctl-sim: the tool on the simulated display stack. The scenario is
// loaded before the tool runs; a scenario that cannot be used ends the
// process with one line on standard error and kScenarioErrorStatus.
#include "app/main.h"

#include <cstdio>
#include <string>

#include "platform/posix/entry.h"
#include "platform/sim/environment.h"

int main(int argc, char** argv) {
  std::string error;
  if (!monctl::sim::InstallFromEnvironment(&error)) {
    std::fprintf(stderr, "monctl-sim: %s\n", error.c_str());
    return monctl::sim::kScenarioErrorStatus;
  }
  return monctl::platform::RunWideMain(argc, argv, monctl::wmain);
}
