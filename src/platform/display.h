// The window manager and monitor configuration functions the tool relies on
// (user32 and dxva2 on Windows; a simulated display stack natively). Every
// function returns true on success and leaves the reason of a failure in the
// thread's last-error value (GetLastError in platform/system.h).
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace monctl::platform {

struct MonitorHandleTag;
struct PhysicalMonitorHandleTag;
struct DeviceContextTag;
using MonitorHandle = MonitorHandleTag*;                  // HMONITOR
using PhysicalMonitorHandle = PhysicalMonitorHandleTag*;  // physical monitor HANDLE
using DeviceContext = DeviceContextTag*;                  // HDC

struct Point {
  int32_t x;
  int32_t y;
};

struct Rect {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
};

// MONITORINFOEXW
struct MonitorInfo {
  Rect rcMonitor;
  Rect rcWork;
  uint32_t dwFlags;
  char16_t szDevice[32];
};
constexpr uint32_t kMonitorInfoFPrimary = 0x1;

// PHYSICAL_MONITOR
struct PhysicalMonitor {
  PhysicalMonitorHandle hPhysicalMonitor;
  char16_t szPhysicalMonitorDescription[128];
};

// DISPLAY_DEVICEW
struct DisplayDevice {
  char16_t DeviceName[32];
  char16_t DeviceString[128];
  uint32_t StateFlags;
  char16_t DeviceID[128];
  char16_t DeviceKey[128];
};
constexpr uint32_t kDisplayDevicePrimaryDevice = 0x4;

// The display-mode fields of DEVMODEW that the tool reads and changes.
struct DisplayMode {
  uint32_t dmFields;
  Point dmPosition;
  uint32_t dmDisplayOrientation;
  uint32_t dmBitsPerPel;
  uint32_t dmPelsWidth;
  uint32_t dmPelsHeight;
  uint32_t dmDisplayFlags;
  uint32_t dmDisplayFrequency;
};

// dmFields bits.
constexpr uint32_t kDmPosition = 0x20;
constexpr uint32_t kDmDisplayOrientation = 0x80;
constexpr uint32_t kDmBitsPerPel = 0x40000;
constexpr uint32_t kDmPelsWidth = 0x80000;
constexpr uint32_t kDmPelsHeight = 0x100000;
constexpr uint32_t kDmDisplayFlags = 0x200000;
constexpr uint32_t kDmDisplayFrequency = 0x400000;
constexpr uint32_t kDmInterlaced = 0x2;  // dmDisplayFlags

// dmDisplayOrientation values.
constexpr uint32_t kDmdoDefault = 0;
constexpr uint32_t kDmdo90 = 1;
constexpr uint32_t kDmdo180 = 2;
constexpr uint32_t kDmdo270 = 3;

constexpr uint32_t kEnumCurrentSettings = 0xFFFFFFFFu;

// ChangeDisplaySettingsExW flags and results.
constexpr uint32_t kCdsUpdateRegistry = 0x1;
constexpr uint32_t kCdsGlobal = 0x8;
constexpr int32_t kDispChangeSuccessful = 0;
constexpr int32_t kDispChangeRestart = 1;
constexpr int32_t kDispChangeFailed = -1;
constexpr int32_t kDispChangeBadMode = -2;
constexpr int32_t kDispChangeNotUpdated = -3;
constexpr int32_t kDispChangeBadFlags = -4;
constexpr int32_t kDispChangeBadParam = -5;
constexpr int32_t kDispChangeBadDualView = -6;

// Monitor capability and colour-temperature bits (GetMonitorCapabilities).
constexpr uint32_t kMcCapsMonitorTechnologyType = 0x1;
constexpr uint32_t kMcCapsBrightness = 0x2;
constexpr uint32_t kMcCapsContrast = 0x4;
constexpr uint32_t kMcCapsColorTemperature = 0x8;
constexpr uint32_t kMcCapsDisplayAreaSize = 0x100;

// GetMonitorDisplayAreaSize size types.
constexpr int32_t kMcWidth = 0;
constexpr int32_t kMcHeight = 1;

// MC_VCP_CODE_TYPE of GetVCPFeatureAndVCPFeatureReply.
constexpr int32_t kMcMomentary = 0;
constexpr int32_t kMcSetParameter = 1;

// Broadcast of system commands.
constexpr uintptr_t kHwndBroadcast = 0xFFFF;
constexpr uint32_t kWmSysCommand = 0x0112;
constexpr uintptr_t kScMonitorPower = 0xF170;
constexpr uintptr_t kScScreenSave = 0xF140;
constexpr uint32_t kSmtoAbortIfHung = 0x2;

// MONITORENUMPROC: TRUE goes on with the next display monitor.
using MonitorEnumProc = int (*)(MonitorHandle monitor, DeviceContext dc, Rect* rect, intptr_t data);

bool EnumDisplayMonitors(DeviceContext dc, const Rect* clip, MonitorEnumProc proc, intptr_t data);
bool GetMonitorInfoW(MonitorHandle monitor, MonitorInfo* info);

bool GetNumberOfPhysicalMonitorsFromHMONITOR(MonitorHandle monitor, uint32_t* count);
bool GetPhysicalMonitorsFromHMONITOR(MonitorHandle monitor, uint32_t count, PhysicalMonitor* monitors);
bool DestroyPhysicalMonitors(uint32_t count, PhysicalMonitor* monitors);

bool EnumDisplayDevicesW(const char16_t* device, uint32_t index, DisplayDevice* display_device, uint32_t flags);

bool GetMonitorCapabilities(PhysicalMonitorHandle monitor, uint32_t* capabilities, uint32_t* color_temperatures);
bool GetMonitorBrightness(PhysicalMonitorHandle monitor, uint32_t* minimum, uint32_t* current, uint32_t* maximum);
bool SetMonitorBrightness(PhysicalMonitorHandle monitor, uint32_t level);
bool GetMonitorContrast(PhysicalMonitorHandle monitor, uint32_t* minimum, uint32_t* current, uint32_t* maximum);
bool SetMonitorContrast(PhysicalMonitorHandle monitor, uint32_t level);
bool GetMonitorDisplayAreaSize(PhysicalMonitorHandle monitor, int32_t size_type, uint32_t* minimum,
                               uint32_t* current, uint32_t* maximum);
bool GetMonitorTechnologyType(PhysicalMonitorHandle monitor, int32_t* technology);
bool SaveCurrentMonitorSettings(PhysicalMonitorHandle monitor);

// The low-level functions: any VCP feature, and the capabilities string.
// `type` receives an MC_VCP_CODE_TYPE. The length counts the terminating
// NUL, and the reply fills `length` bytes of `text`.
bool GetVCPFeatureAndVCPFeatureReply(PhysicalMonitorHandle monitor, uint8_t code, int32_t* type, uint32_t* current,
                                     uint32_t* maximum);
bool SetVCPFeature(PhysicalMonitorHandle monitor, uint8_t code, uint32_t value);
bool GetCapabilitiesStringLength(PhysicalMonitorHandle monitor, uint32_t* length);
bool CapabilitiesRequestAndCapabilitiesReply(PhysicalMonitorHandle monitor, char* text, uint32_t length);

// True when the monitor configuration functions may be called for different
// physical monitors from several threads at once (calls for one monitor
// stay in order).
bool CanCallMonitorsSideBySide();

bool EnumDisplaySettingsW(const char16_t* device, uint32_t mode_number, DisplayMode* mode);
// Changes the fields of `mode` that dmFields marks; returns a DISP_CHANGE_* result.
int32_t ChangeDisplaySettingsExW(const char16_t* device, DisplayMode* mode, uint32_t flags);

// SendMessageTimeoutW; returns non-zero when every window answered in time.
intptr_t SendMessageTimeoutW(uintptr_t window, uint32_t message, uintptr_t wparam, intptr_t lparam,
                            uint32_t flags, uint32_t timeout_ms, uintptr_t* result);

}  // namespace monctl::platform
