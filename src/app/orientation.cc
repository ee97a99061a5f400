// Orientation and desktop position of the display device that shows the
// selected monitor, applied in one display-settings change.
#include <algorithm>
#include <utility>

#include "app/console.h"
#include "app/physical_monitor.h"
#include "app/steps.h"
#include "platform/system.h"

namespace monctl {
namespace {

uint32_t NewOrientation(const CConsole& console, uint32_t current, uint32_t reported) {
  if ((console.m_dwParameters & kOptionToggle) != 0 && current != platform::kDmdoDefault) {
    return platform::kDmdoDefault;
  }
  switch (console.m_dwRotate) {
    case kRotate90:
      return platform::kDmdo90;
    case kRotate180:
      return platform::kDmdo180;
    case kRotate270:
      return platform::kDmdo270;
    case kRotateCw:
      return reported == 0 ? platform::kDmdo270 : reported - 1;
    case kRotateCcw:
      return reported == 3 ? platform::kDmdoDefault : reported + 1;
    default:  // "0" and "default"
      return platform::kDmdoDefault;
  }
}

}  // namespace

int32_t OrientationDegrees(uint32_t orientation) {
  switch (orientation) {
    case platform::kDmdo90:
      return 90;
    case platform::kDmdo180:
      return 180;
    case platform::kDmdo270:
      return 270;
    default:
      return 0;
  }
}

bool OrientationStep(CConsole& console, CPhysicalMonitor& monitor) {
  char16_t device[32];
  std::copy(std::begin(monitor.m_MonitorInfo.szDevice), std::end(monitor.m_MonitorInfo.szDevice), device);
  device[31] = 0;

  platform::DisplayMode mode = {};
  if (!platform::EnumDisplaySettingsW(device, platform::kEnumCurrentSettings, &mode)) {
    console.WriteError(u"could not get current display settings.");
    return false;
  }
  uint32_t current = (mode.dmFields & platform::kDmDisplayOrientation) != 0 ? mode.dmDisplayOrientation
                                                                          : platform::kDmdoDefault;
  platform::Point position = (mode.dmFields & platform::kDmPosition) != 0 ? mode.dmPosition
                                                                         : platform::Point{0, 0};
  mode.dmFields = 0;

  if ((console.m_dwParameters & kOptionRotate) != 0) {
    uint32_t orientation = NewOrientation(console, current, mode.dmDisplayOrientation);
    mode.dmDisplayOrientation = orientation;
    if (orientation == current) {
      console.WriteLine(u"Display orientation will remain unchanged.");
    } else {
      mode.dmFields = platform::kDmDisplayOrientation;
      console.WriteLine(u"Changing display orientation from %d° to %d°.", OrientationDegrees(current),
                        OrientationDegrees(orientation));
      uint32_t turn = orientation > current ? orientation - current : current - orientation;
      if (turn != 2) {
        std::swap(mode.dmPelsWidth, mode.dmPelsHeight);
        mode.dmFields |= platform::kDmPelsWidth | platform::kDmPelsHeight;
      }
    }
  }

  if ((console.m_dwParameters & kOptionPosition) != 0) {
    const platform::Point& requested = console.m_ptPosition;
    if (console.m_nDevice == 1) {
      console.WriteError(u"The primary display device is always located at 0,0.");
    } else if (requested.x == position.x && requested.y == position.y) {
      console.WriteLine(u"Display position will remain unchanged.");
    } else {
      mode.dmPosition = requested;
      mode.dmFields |= platform::kDmPosition;
      console.WriteLine(u"Changing display position from %ld,%ld to %ld,%ld.", position.x, position.y,
                        requested.x, requested.y);
    }
  }

  if (mode.dmFields == 0) return true;

  uint32_t flags = platform::kCdsUpdateRegistry;
  if (platform::IsUserAdmin()) flags |= platform::kCdsGlobal;
  int32_t result = platform::ChangeDisplaySettingsExW(device, &mode, flags);
  switch (result) {
    case platform::kDispChangeSuccessful:
      console.WriteLine(u"Display settings successfully changed.");
      return true;
    case platform::kDispChangeRestart:
      console.WriteLine(u"WARNING: The computer must be restarted for changes to take effect.");
      break;
    case platform::kDispChangeFailed:
      console.WriteError(u"Display driver failure.");
      break;
    case platform::kDispChangeBadMode:
      console.WriteError(u"The specified graphics mode is not supported.");
      break;
    case platform::kDispChangeNotUpdated:
      console.WriteError(u"Unable to write the settings to the registry.");
      break;
    case platform::kDispChangeBadFlags:
    case platform::kDispChangeBadParam:
      console.WriteError(u"An invalid parameter or flag was passed in.");
      break;
    case platform::kDispChangeBadDualView:
      console.WriteError(u"Unable to change the settings. DualView is active.");
      break;
    default:
      break;
  }
  return false;
}

}  // namespace monctl
