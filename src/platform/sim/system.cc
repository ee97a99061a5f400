// The calls of platform/system.h that the simulated display stack serves:
// Sleep is logged and returns at once, and the administrator check answers
// the scenario's `admin`. The system message texts are the real ones of
// posix/system.cc, behind the fault layer.
#include "platform/system.h"

#include "platform/posix/system.h"
#include "platform/sim/faults.h"
#include "platform/sim/simulator.h"

namespace monctl::platform {

void Sleep(uint32_t milliseconds) { sim::Current().Sleep(milliseconds); }

bool IsUserAdmin() { return sim::Current().IsUserAdmin(); }

uint32_t FormatSystemMessage(uint32_t message_id, char16_t* buffer, uint32_t size) {
  if (sim::InjectLastError(sim::Call::kFormatSystemMessage)) return 0;
  return posix::FormatSystemMessage(message_id, buffer, size);
}

}  // namespace monctl::platform
