#include "platform/sim/environment.h"

#include <fmt/format.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

#include "platform/sim/scenario_loader.h"
#include "platform/sim/simulator.h"

namespace monctl::sim {
namespace {

std::string Variable(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

}  // namespace

bool InstallFromEnvironment(std::string* error) {
  const std::string scenario_path = Variable("MONCTL_SIM_SCENARIO");
  const std::string log_path = Variable("MONCTL_SIM_LOG");

  Scenario scenario;
  if (scenario_path.empty()) {
    scenario = DemoScenario();
  } else {
    std::string problem;
    if (!LoadScenarioFile(scenario_path, &scenario, &problem)) {
      *error = fmt::format("scenario {}: {}", scenario_path, problem);
      return false;
    }
  }

  if (!log_path.empty()) {
    // The log is appended to; make sure now that it can be, rather than
    // lose its lines later. A FIFO would block the run, a device is no log
    // (fopen names what is wrong with a folder).
    std::error_code status_error;
    const auto status = std::filesystem::status(log_path, status_error);
    if (!status_error && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status) &&
        !std::filesystem::is_directory(status)) {
      *error = fmt::format("call log {}: cannot open the file: not a regular file", log_path);
      return false;
    }
    std::FILE* file = std::fopen(log_path.c_str(), "ab");
    if (file == nullptr) {
      *error = fmt::format("call log {}: cannot open the file: {}", log_path, std::strerror(errno));
      return false;
    }
    std::fclose(file);
  }

  Install(std::make_unique<Simulator>(std::move(scenario), log_path));
  return true;
}

}  // namespace monctl::sim
