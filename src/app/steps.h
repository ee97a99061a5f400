// The actions of a run on the selected monitor, and the power broadcast.
// Each writes its own messages and returns false when the run must end.
#pragma once

#include <cstdint>

namespace monctl {

class CConsole;
class CPhysicalMonitor;

bool BrightnessStep(CConsole& console, CPhysicalMonitor& monitor);
bool ContrastStep(CConsole& console, CPhysicalMonitor& monitor);
bool SaveStep(CConsole& console, CPhysicalMonitor& monitor);
// /vcp, /input and /capabilities.
bool VcpStep(CConsole& console, CPhysicalMonitor& monitor);
bool InputStep(CConsole& console, CPhysicalMonitor& monitor);
bool CapabilitiesStep(CConsole& console, CPhysicalMonitor& monitor);
// Orientation and position in one display-settings change.
bool OrientationStep(CConsole& console, CPhysicalMonitor& monitor);
void PowerStep(CConsole& console);

// The angle of a display orientation value: 0, 90, 180 or 270; any value
// that is not a rotation counts as 0.
int32_t OrientationDegrees(uint32_t orientation);

// The names of the properties report: of a display technology
// (MC_DISPLAY_TECHNOLOGY_TYPE) and of a connector type; none for a value
// without a name.
const char16_t* TechnologyName(int32_t technology);
const char16_t* ConnectorName(uint32_t connector);
// The colour temperature of each bit of the supported mask, in kelvin.
inline constexpr uint32_t kColorTemperatureKelvins[] = {4000, 5000, 6500, 7500, 8200, 9300, 10000, 11500};

}  // namespace monctl
