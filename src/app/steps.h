// The actions of a run on the selected monitor, and the power broadcast.
// Each writes its own messages and returns false when the run must end.
// The DDC/CI steps act on physical monitor `index` of `monitor` and change
// nothing in it, so that steps for different monitors may run side by side.
#pragma once

#include <cstdint>

namespace monctl {

class CConsole;
class CPhysicalMonitor;
class CEnumPhysicalMonitors;

bool BrightnessStep(CConsole& console, CPhysicalMonitor& monitor, uint32_t index);
bool ContrastStep(CConsole& console, CPhysicalMonitor& monitor, uint32_t index);
bool SaveStep(CConsole& console, CPhysicalMonitor& monitor, uint32_t index);
// /vcp, /input and /capabilities.
bool VcpStep(CConsole& console, CPhysicalMonitor& monitor, uint32_t index);
bool InputStep(CConsole& console, CPhysicalMonitor& monitor, uint32_t index);
bool CapabilitiesStep(CConsole& console, CPhysicalMonitor& monitor, uint32_t index);
// Orientation and position in one display-settings change.
bool OrientationStep(CConsole& console, CPhysicalMonitor& monitor);
void PowerStep(CConsole& console);

// "Selected device: <name>" and an empty line, for physical monitor `index`
// of `display`; the name from the enumeration's display devices.
void WriteSelected(CConsole& console, CEnumPhysicalMonitors& monitors, const CPhysicalMonitor& display,
                   uint32_t index);

// The actions that the options ask for on physical monitor `index` of
// `monitor`, in their fixed order, up to the first that fails; its exit
// code, or kExitSuccess.
int RunSteps(CConsole& console, CPhysicalMonitor& monitor, uint32_t index);

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
