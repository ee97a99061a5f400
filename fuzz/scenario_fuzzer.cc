// The simulator's scenario loader on any text (fuzz/README.md).
#include "fuzz/fuzz_check.h"
#include "platform/sim/backend.h"
#include "platform/sim/faults.h"
#include "platform/sim/scenario_loader.h"
#include "platform/text.h"

using namespace monctl::sim;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view json(reinterpret_cast<const char*>(data), size);
  Scenario scenario, again;
  std::string error, error_again;
  const bool ok = ParseScenario(json, &scenario, &error);
  FUZZ_CHECK(LiveTaskMemBlocks() == 0);  // loading makes no OPM output
  FUZZ_CHECK(ParseScenario(json, &again, &error_again) == ok && error_again == error);
  // A refusal has a one-line reason and leaves the scenario alone.
  FUZZ_CHECK(ok || (!error.empty() && error.find('\n') == std::string::npos && scenario.displays.empty()));
  size_t primaries = 0;
  for (size_t i = 0; i < scenario.displays.size(); ++i) {
    const DisplayConfig& display = scenario.displays[i];
    FUZZ_CHECK(!display.device.empty() && display.device.size() <= 31 && display.adapter.size() <= 127);
    FUZZ_CHECK(display.mode.dmDisplayOrientation <= 3 && (display.mode.dmFields & ~kAllModeFields) == 0);
    primaries += display.primary;
    for (size_t j = 0; j < i; ++j) FUZZ_CHECK(!monctl::EqualNoCase(scenario.displays[j].device, display.device));
    for (const auto& [call, value] : display.fail) FUZZ_CHECK(FailableCallOf(call).scope == Scope::kDisplay);
    for (const PhysicalMonitorConfig& monitor : display.physical) {
      FUZZ_CHECK(monitor.description.size() <= 127);
      for (const auto& [call, value] : monitor.fail) FUZZ_CHECK(FailableCallOf(call).scope == Scope::kMonitor);
    }
  }
  FUZZ_CHECK(primaries <= 1);
  return 0;
}
