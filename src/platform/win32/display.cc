// The display platform on Windows: the window manager (user32) and the
// monitor configuration functions (dxva2).
#include "platform/display.h"

#include <windows.h>
#include <highlevelmonitorconfigurationapi.h>
#include <physicalmonitorenumerationapi.h>

#include <cstddef>

#include "platform/win32/system_library.h"
#include "platform/win32/wide.h"

namespace monctl::platform {

static_assert(sizeof(Rect) == sizeof(RECT) && offsetof(Rect, bottom) == offsetof(RECT, bottom));
static_assert(sizeof(PhysicalMonitor) == sizeof(PHYSICAL_MONITOR));
static_assert(offsetof(PhysicalMonitor, szPhysicalMonitorDescription) ==
              offsetof(PHYSICAL_MONITOR, szPhysicalMonitorDescription));

namespace {

HMONITOR Native(MonitorHandle monitor) { return reinterpret_cast<HMONITOR>(monitor); }
HANDLE Native(PhysicalMonitorHandle monitor) { return reinterpret_cast<HANDLE>(monitor); }
PHYSICAL_MONITOR* Native(PhysicalMonitor* monitors) {
  return reinterpret_cast<PHYSICAL_MONITOR*>(monitors);
}

// The monitor configuration functions of dxva2.
const SystemFunction<decltype(::GetNumberOfPhysicalMonitorsFromHMONITOR)> kGetNumberOfPhysicalMonitorsFromHMONITOR{
    SystemLibrary::kDxva2, "GetNumberOfPhysicalMonitorsFromHMONITOR"};
const SystemFunction<decltype(::GetPhysicalMonitorsFromHMONITOR)> kGetPhysicalMonitorsFromHMONITOR{
    SystemLibrary::kDxva2, "GetPhysicalMonitorsFromHMONITOR"};
const SystemFunction<decltype(::DestroyPhysicalMonitors)> kDestroyPhysicalMonitors{
    SystemLibrary::kDxva2, "DestroyPhysicalMonitors"};
const SystemFunction<decltype(::GetMonitorCapabilities)> kGetMonitorCapabilities{
    SystemLibrary::kDxva2, "GetMonitorCapabilities"};
const SystemFunction<decltype(::GetMonitorBrightness)> kGetMonitorBrightness{
    SystemLibrary::kDxva2, "GetMonitorBrightness"};
const SystemFunction<decltype(::SetMonitorBrightness)> kSetMonitorBrightness{
    SystemLibrary::kDxva2, "SetMonitorBrightness"};
const SystemFunction<decltype(::GetMonitorContrast)> kGetMonitorContrast{
    SystemLibrary::kDxva2, "GetMonitorContrast"};
const SystemFunction<decltype(::SetMonitorContrast)> kSetMonitorContrast{
    SystemLibrary::kDxva2, "SetMonitorContrast"};
const SystemFunction<decltype(::GetMonitorDisplayAreaSize)> kGetMonitorDisplayAreaSize{
    SystemLibrary::kDxva2, "GetMonitorDisplayAreaSize"};
const SystemFunction<decltype(::GetMonitorTechnologyType)> kGetMonitorTechnologyType{
    SystemLibrary::kDxva2, "GetMonitorTechnologyType"};
const SystemFunction<decltype(::SaveCurrentMonitorSettings)> kSaveCurrentMonitorSettings{
    SystemLibrary::kDxva2, "SaveCurrentMonitorSettings"};

// The low-level functions, which mingw-w64's headers lack
// (lowlevelmonitorconfigurationapi.h); the code type is MC_VCP_CODE_TYPE.
using GetVcpFeature = BOOL WINAPI(HANDLE, BYTE, LPDWORD, LPDWORD, LPDWORD);
using SetVcpFeature = BOOL WINAPI(HANDLE, BYTE, DWORD);
using GetCapabilitiesLength = BOOL WINAPI(HANDLE, LPDWORD);
using CapabilitiesReply = BOOL WINAPI(HANDLE, LPSTR, DWORD);
const SystemFunction<GetVcpFeature> kGetVCPFeatureAndVCPFeatureReply{SystemLibrary::kDxva2,
                                                                     "GetVCPFeatureAndVCPFeatureReply"};
const SystemFunction<SetVcpFeature> kSetVCPFeature{SystemLibrary::kDxva2, "SetVCPFeature"};
const SystemFunction<GetCapabilitiesLength> kGetCapabilitiesStringLength{SystemLibrary::kDxva2,
                                                                         "GetCapabilitiesStringLength"};
const SystemFunction<CapabilitiesReply> kCapabilitiesRequestAndCapabilitiesReply{
    SystemLibrary::kDxva2, "CapabilitiesRequestAndCapabilitiesReply"};

struct EnumContext {
  MonitorEnumProc proc;
  intptr_t data;
};

BOOL CALLBACK EnumTrampoline(HMONITOR monitor, HDC dc, LPRECT rect, LPARAM data) {
  const auto* context = reinterpret_cast<const EnumContext*>(data);
  return context->proc(reinterpret_cast<MonitorHandle>(monitor), reinterpret_cast<DeviceContext>(dc),
                       reinterpret_cast<Rect*>(rect), context->data);
}

template <size_t N, size_t M>
void CopyText(char16_t (&to)[N], const wchar_t (&from)[M]) {
  static_assert(N == M);
  for (size_t i = 0; i < N; ++i) to[i] = static_cast<char16_t>(from[i]);
}

}  // namespace

bool EnumDisplayMonitors(DeviceContext dc, const Rect* clip, MonitorEnumProc proc, intptr_t data) {
  EnumContext context{proc, data};
  return ::EnumDisplayMonitors(reinterpret_cast<HDC>(dc), reinterpret_cast<const RECT*>(clip),
                               EnumTrampoline, reinterpret_cast<LPARAM>(&context)) != FALSE;
}

bool GetMonitorInfoW(MonitorHandle monitor, MonitorInfo* info) {
  MONITORINFOEXW native = {};
  native.cbSize = sizeof(native);
  if (!::GetMonitorInfoW(Native(monitor), &native)) return false;
  info->rcMonitor = {native.rcMonitor.left, native.rcMonitor.top, native.rcMonitor.right,
                     native.rcMonitor.bottom};
  info->rcWork = {native.rcWork.left, native.rcWork.top, native.rcWork.right, native.rcWork.bottom};
  info->dwFlags = native.dwFlags;
  CopyText(info->szDevice, native.szDevice);
  return true;
}

bool GetNumberOfPhysicalMonitorsFromHMONITOR(MonitorHandle monitor, uint32_t* count) {
  DWORD n = 0;
  if (!kGetNumberOfPhysicalMonitorsFromHMONITOR(Native(monitor), &n)) return false;
  *count = n;
  return true;
}

bool GetPhysicalMonitorsFromHMONITOR(MonitorHandle monitor, uint32_t count, PhysicalMonitor* monitors) {
  return kGetPhysicalMonitorsFromHMONITOR(Native(monitor), count, Native(monitors)) != FALSE;
}

bool DestroyPhysicalMonitors(uint32_t count, PhysicalMonitor* monitors) {
  return kDestroyPhysicalMonitors(count, Native(monitors)) != FALSE;
}

bool EnumDisplayDevicesW(const char16_t* device, uint32_t index, DisplayDevice* display_device,
                         uint32_t flags) {
  DISPLAY_DEVICEW native = {};
  native.cb = sizeof(native);
  if (!::EnumDisplayDevicesW(AsWide(device), index, &native, flags)) return false;
  CopyText(display_device->DeviceName, native.DeviceName);
  CopyText(display_device->DeviceString, native.DeviceString);
  display_device->StateFlags = native.StateFlags;
  CopyText(display_device->DeviceID, native.DeviceID);
  CopyText(display_device->DeviceKey, native.DeviceKey);
  return true;
}

bool GetMonitorCapabilities(PhysicalMonitorHandle monitor, uint32_t* capabilities,
                            uint32_t* color_temperatures) {
  DWORD caps = 0;
  DWORD temperatures = 0;
  if (!kGetMonitorCapabilities(Native(monitor), &caps, &temperatures)) return false;
  *capabilities = caps;
  *color_temperatures = temperatures;
  return true;
}

namespace {

template <class Get>
bool GetRange(Get get, uint32_t* minimum, uint32_t* current, uint32_t* maximum) {
  DWORD low = 0;
  DWORD now = 0;
  DWORD high = 0;
  if (!get(&low, &now, &high)) return false;
  *minimum = low;
  *current = now;
  *maximum = high;
  return true;
}

}  // namespace

bool GetMonitorBrightness(PhysicalMonitorHandle monitor, uint32_t* minimum, uint32_t* current,
                          uint32_t* maximum) {
  return GetRange([&](DWORD* a, DWORD* b, DWORD* c) { return kGetMonitorBrightness(Native(monitor), a, b, c); },
                  minimum, current, maximum);
}

bool SetMonitorBrightness(PhysicalMonitorHandle monitor, uint32_t level) {
  return kSetMonitorBrightness(Native(monitor), level) != FALSE;
}

bool GetMonitorContrast(PhysicalMonitorHandle monitor, uint32_t* minimum, uint32_t* current,
                        uint32_t* maximum) {
  return GetRange([&](DWORD* a, DWORD* b, DWORD* c) { return kGetMonitorContrast(Native(monitor), a, b, c); },
                  minimum, current, maximum);
}

bool SetMonitorContrast(PhysicalMonitorHandle monitor, uint32_t level) {
  return kSetMonitorContrast(Native(monitor), level) != FALSE;
}

bool GetMonitorDisplayAreaSize(PhysicalMonitorHandle monitor, int32_t size_type, uint32_t* minimum,
                               uint32_t* current, uint32_t* maximum) {
  return GetRange(
      [&](DWORD* a, DWORD* b, DWORD* c) {
        return kGetMonitorDisplayAreaSize(Native(monitor), static_cast<MC_SIZE_TYPE>(size_type), a, b, c);
      },
      minimum, current, maximum);
}

bool GetMonitorTechnologyType(PhysicalMonitorHandle monitor, int32_t* technology) {
  MC_DISPLAY_TECHNOLOGY_TYPE type{};
  if (!kGetMonitorTechnologyType(Native(monitor), &type)) return false;
  *technology = static_cast<int32_t>(type);
  return true;
}

bool SaveCurrentMonitorSettings(PhysicalMonitorHandle monitor) {
  return kSaveCurrentMonitorSettings(Native(monitor)) != FALSE;
}

// Each physical monitor has its own I2C bus, and dxva2 serialises the
// calls for one handle itself.
bool CanCallMonitorsSideBySide() { return true; }

bool GetVCPFeatureAndVCPFeatureReply(PhysicalMonitorHandle monitor, uint8_t code, int32_t* type, uint32_t* current,
                                     uint32_t* maximum) {
  DWORD code_type = 0;
  DWORD now = 0;
  DWORD high = 0;
  if (!kGetVCPFeatureAndVCPFeatureReply(Native(monitor), code, &code_type, &now, &high)) return false;
  *type = static_cast<int32_t>(code_type);
  *current = now;
  *maximum = high;
  return true;
}

bool SetVCPFeature(PhysicalMonitorHandle monitor, uint8_t code, uint32_t value) {
  return kSetVCPFeature(Native(monitor), code, value) != FALSE;
}

bool GetCapabilitiesStringLength(PhysicalMonitorHandle monitor, uint32_t* length) {
  DWORD n = 0;
  if (!kGetCapabilitiesStringLength(Native(monitor), &n)) return false;
  *length = n;
  return true;
}

bool CapabilitiesRequestAndCapabilitiesReply(PhysicalMonitorHandle monitor, char* text, uint32_t length) {
  return kCapabilitiesRequestAndCapabilitiesReply(Native(monitor), text, length) != FALSE;
}

bool EnumDisplaySettingsW(const char16_t* device, uint32_t mode_number, DisplayMode* mode) {
  DEVMODEW native = {};
  native.dmSize = sizeof(native);
  native.dmDriverExtra = 0;
  if (!::EnumDisplaySettingsW(AsWide(device), mode_number, &native)) return false;
  mode->dmFields = native.dmFields;
  mode->dmPosition = {native.dmPosition.x, native.dmPosition.y};
  mode->dmDisplayOrientation = native.dmDisplayOrientation;
  mode->dmBitsPerPel = native.dmBitsPerPel;
  mode->dmPelsWidth = native.dmPelsWidth;
  mode->dmPelsHeight = native.dmPelsHeight;
  mode->dmDisplayFlags = native.dmDisplayFlags;
  mode->dmDisplayFrequency = native.dmDisplayFrequency;
  return true;
}

int32_t ChangeDisplaySettingsExW(const char16_t* device, DisplayMode* mode, uint32_t flags) {
  // Only the fields that dmFields marks are read by the call.
  DEVMODEW native = {};
  native.dmSize = sizeof(native);
  native.dmFields = mode->dmFields;
  native.dmPosition = {mode->dmPosition.x, mode->dmPosition.y};
  native.dmDisplayOrientation = mode->dmDisplayOrientation;
  native.dmBitsPerPel = mode->dmBitsPerPel;
  native.dmPelsWidth = mode->dmPelsWidth;
  native.dmPelsHeight = mode->dmPelsHeight;
  native.dmDisplayFlags = mode->dmDisplayFlags;
  native.dmDisplayFrequency = mode->dmDisplayFrequency;
  return ::ChangeDisplaySettingsExW(AsWide(device), &native, nullptr, flags, nullptr);
}

intptr_t SendMessageTimeoutW(uintptr_t window, uint32_t message, uintptr_t wparam, intptr_t lparam,
                             uint32_t flags, uint32_t timeout_ms, uintptr_t* result) {
  DWORD_PTR answer = 0;
  LRESULT sent = ::SendMessageTimeoutW(reinterpret_cast<HWND>(window), message, wparam, lparam, flags,
                                       timeout_ms, &answer);
  if (result != nullptr) *result = answer;
  return sent;
}

}  // namespace monctl::platform
