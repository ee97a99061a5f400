// The simulator's scenario loader on arbitrary text. A scenario that it
// accepts must keep the rules the simulated stack relies on; one that it
// refuses must come with a reason; and the same text always gives the same
// answer.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "platform/sim/backend.h"
#include "platform/sim/scenario.h"
#include "platform/sim/scenario_loader.h"

namespace {

char16_t Lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

bool SameName(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace monctl::sim;
  const std::string_view json(reinterpret_cast<const char*>(data), size);
  Scenario scenario;
  std::string error;
  const bool ok = ParseScenario(json, &scenario, &error);

  // Loading hands out nothing: no task memory, as an OPM output would take.
  FUZZ_CHECK(LiveTaskMemBlocks() == 0);

  Scenario again;
  std::string error_again;
  FUZZ_CHECK(ParseScenario(json, &again, &error_again) == ok);
  FUZZ_CHECK(error_again == error);

  if (!ok) {
    FUZZ_CHECK(!error.empty());
    FUZZ_CHECK(error.find('\n') == std::string::npos);  // one line
    FUZZ_CHECK(scenario.displays.empty());              // left as it was
    return 0;
  }
  size_t primaries = 0;
  for (size_t i = 0; i < scenario.displays.size(); ++i) {
    const DisplayConfig& display = scenario.displays[i];
    FUZZ_CHECK(!display.device.empty() && display.device.size() <= 31);
    FUZZ_CHECK(display.adapter.size() <= 127);
    FUZZ_CHECK(display.mode.dmDisplayOrientation <= 3);
    FUZZ_CHECK((display.mode.dmFields & ~kAllModeFields) == 0);
    primaries += display.primary;
    for (size_t j = 0; j < i; ++j) FUZZ_CHECK(!SameName(scenario.displays[j].device, display.device));
    for (const auto& [call, value] : display.fail) FUZZ_CHECK(FailableCallOf(call).scope == Scope::kDisplay);
    for (const PhysicalMonitorConfig& monitor : display.physical) {
      FUZZ_CHECK(monitor.description.size() <= 127);
      for (const auto& [call, value] : monitor.fail) FUZZ_CHECK(FailableCallOf(call).scope == Scope::kMonitor);
    }
  }
  FUZZ_CHECK(primaries <= 1);
  return 0;
}
