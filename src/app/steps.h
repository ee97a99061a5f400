// The actions of a run on the selected monitor, and the power broadcast.
// Each writes its own messages and returns false when the run must end.
#pragma once

namespace monctl {

class CConsole;
class CPhysicalMonitor;

bool BrightnessStep(CConsole& console, CPhysicalMonitor& monitor);
bool ContrastStep(CConsole& console, CPhysicalMonitor& monitor);
bool SaveStep(CConsole& console, CPhysicalMonitor& monitor);
// Orientation and position in one display-settings change.
bool OrientationStep(CConsole& console, CPhysicalMonitor& monitor);
void PowerStep(CConsole& console);

}  // namespace monctl
