// The HMONITOR values of the simulated display monitors natively: the
// display's index over a base, never dereferenced. (The test-only dxva2.dll
// has its own, for Wine's display monitors.)
#include "platform/sim/backend.h"
#include "platform/sim/simulator.h"

namespace monctl::sim {
namespace {

// HMONITOR values are this base plus the display's index plus 1.
constexpr uintptr_t kMonitorHandleBase = 0x10000;

}  // namespace

platform::MonitorHandle MonitorHandleOf(size_t index) {
  return reinterpret_cast<platform::MonitorHandle>(kMonitorHandleBase + index + 1);
}

std::optional<size_t> DisplayOf(platform::MonitorHandle monitor) {
  const uintptr_t value = reinterpret_cast<uintptr_t>(monitor);
  if (value <= kMonitorHandleBase) return std::nullopt;
  const size_t index = value - kMonitorHandleBase - 1;
  if (index >= Current().display_count()) return std::nullopt;
  return index;
}

}  // namespace monctl::sim
