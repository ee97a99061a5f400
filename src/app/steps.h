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
// Orientation and position in one display-settings change.
bool OrientationStep(CConsole& console, CPhysicalMonitor& monitor);
void PowerStep(CConsole& console);

// The angle of a display orientation value: 0, 90, 180 or 270; any value
// that is not a rotation counts as 0.
int32_t OrientationDegrees(uint32_t orientation);

}  // namespace monctl
