// The power broadcast: all monitors on, off or in low power, or the screen
// saver, through a system command sent to all top-level windows.
#include "app/console.h"
#include "app/steps.h"
#include "platform/keys.h"
#include "platform/system.h"

namespace monctl {

void PowerStep(CConsole& console) {
  uintptr_t command = platform::kScMonitorPower;
  intptr_t parameter = -1;
  switch (console.m_dwPower) {
    case kPowerOff:
      parameter = 2;
      break;
    case kPowerLow:
      parameter = 1;
      break;
    case kPowerSaver:
      command = platform::kScScreenSave;
      parameter = 0;
      break;
    default:
      break;
  }
  while (platform::KeyWaiting()) platform::ReadKey();
  platform::Sleep(1000);
  platform::SendMessageTimeoutW(platform::kHwndBroadcast, platform::kWmSysCommand, command, parameter,
                                platform::kSmtoAbortIfHung, 500, nullptr);
  console.WriteLine(u"The new display power state has been broadcasted.");
}

}  // namespace monctl
