// The calls of platform/system.h that the simulated display stack serves:
// Sleep is logged and returns at once, and the administrator check answers
// the scenario's `admin`.
#include "platform/system.h"

#include "platform/sim/simulator.h"

namespace monctl::platform {

void Sleep(uint32_t milliseconds) { sim::Current().Sleep(milliseconds); }

bool IsUserAdmin() { return sim::Current().IsUserAdmin(); }

}  // namespace monctl::platform
