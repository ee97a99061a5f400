// The display configuration on Windows (user32) and a monitor's EDID from
// its device's registry key (SetupAPI, advapi32).
#include "platform/display_config.h"

#include <windows.h>
#include <setupapi.h>

#include <cstddef>
#include <cwchar>

#include "platform/unique_handle.h"
#include "platform/win32/wide.h"

namespace monctl::platform {

static_assert(sizeof(DisplayConfigPathInfo) == sizeof(DISPLAYCONFIG_PATH_INFO));
static_assert(offsetof(DisplayConfigPathInfo, targetInfo.outputTechnology) ==
              offsetof(DISPLAYCONFIG_PATH_INFO, targetInfo.outputTechnology));
static_assert(offsetof(DisplayConfigPathInfo, flags) == offsetof(DISPLAYCONFIG_PATH_INFO, flags));
static_assert(sizeof(DisplayConfigModeInfo) == sizeof(DISPLAYCONFIG_MODE_INFO));
static_assert(sizeof(DisplayConfigDeviceInfoHeader) == sizeof(DISPLAYCONFIG_DEVICE_INFO_HEADER));
static_assert(sizeof(DisplayConfigSourceDeviceName) == sizeof(DISPLAYCONFIG_SOURCE_DEVICE_NAME));
static_assert(sizeof(DisplayConfigTargetDeviceName) == sizeof(DISPLAYCONFIG_TARGET_DEVICE_NAME));
static_assert(offsetof(DisplayConfigTargetDeviceName, monitorDevicePath) ==
              offsetof(DISPLAYCONFIG_TARGET_DEVICE_NAME, monitorDevicePath));
static_assert(offsetof(DisplayConfigTargetDeviceName, edidManufactureId) ==
              offsetof(DISPLAYCONFIG_TARGET_DEVICE_NAME, edidManufactureId));

namespace {

// The display configuration functions return their error code.
bool Result(LONG error) {
  if (error == ERROR_SUCCESS) return true;
  ::SetLastError(static_cast<DWORD>(error));
  return false;
}

// A failure to give back leaves nothing the caller could do.
void DestroyDeviceInfoList(HDEVINFO set) {
  if (!::SetupDiDestroyDeviceInfoList(set)) return;
}
void CloseKey(HKEY key) {
  if (::RegCloseKey(key) != ERROR_SUCCESS) return;
}

// SetupDiGetClassDevsW and SetupDiOpenDevRegKey fail with INVALID_HANDLE_VALUE,
// which is checked before a handle is owned.
using UniqueDeviceInfoList = UniqueHandle<HDEVINFO, &DestroyDeviceInfoList>;
using UniqueKey = UniqueHandle<HKEY, &CloseKey>;

}  // namespace

bool GetDisplayConfigBufferSizes(uint32_t flags, uint32_t* path_count, uint32_t* mode_count) {
  UINT32 paths = 0;
  UINT32 modes = 0;
  if (!Result(::GetDisplayConfigBufferSizes(flags, &paths, &modes))) return false;
  *path_count = paths;
  *mode_count = modes;
  return true;
}

bool QueryDisplayConfig(uint32_t flags, uint32_t* path_count, DisplayConfigPathInfo* paths, uint32_t* mode_count,
                        DisplayConfigModeInfo* modes) {
  UINT32 path_n = *path_count;
  UINT32 mode_n = *mode_count;
  if (!Result(::QueryDisplayConfig(flags, &path_n, reinterpret_cast<DISPLAYCONFIG_PATH_INFO*>(paths), &mode_n,
                                   reinterpret_cast<DISPLAYCONFIG_MODE_INFO*>(modes), nullptr))) {
    return false;
  }
  *path_count = path_n;
  *mode_count = mode_n;
  return true;
}

bool DisplayConfigGetDeviceInfo(DisplayConfigDeviceInfoHeader* request) {
  return Result(::DisplayConfigGetDeviceInfo(reinterpret_cast<DISPLAYCONFIG_DEVICE_INFO_HEADER*>(request)));
}

bool GetMonitorEdid(const char16_t* device_path, uint8_t* buffer, uint32_t buffer_size, uint32_t* size) {
  // GUID_DEVINTERFACE_MONITOR. The device of the interface is found among
  // the present monitors rather than opened by its path, which Wine cannot.
  static constexpr GUID kMonitorInterface = {
      0xE6F07B5F, 0xEE97, 0x4A90, {0xB0, 0x76, 0x33, 0xF5, 0x7B, 0xF4, 0xEA, 0xA7}};
  const HDEVINFO monitors =
      ::SetupDiGetClassDevsW(&kMonitorInterface, nullptr, nullptr, DIGCF_DEVICEINTERFACE | DIGCF_PRESENT);
  if (monitors == INVALID_HANDLE_VALUE) return false;
  UniqueDeviceInfoList set(monitors);
  SP_DEVINFO_DATA device = {};
  device.cbSize = sizeof(device);
  for (DWORD i = 0;; ++i) {
    SP_DEVICE_INTERFACE_DATA interface_data = {};
    interface_data.cbSize = sizeof(interface_data);
    if (!::SetupDiEnumDeviceInterfaces(set.get(), nullptr, &kMonitorInterface, i, &interface_data)) return false;
    // Room for the size field and a path as long as a target's.
    union {
      SP_DEVICE_INTERFACE_DETAIL_DATA_W header;
      BYTE bytes[sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) + 128 * sizeof(WCHAR)];
    } detail = {};
    detail.header.cbSize = sizeof(detail.header);
    // A longer path is not the one asked for.
    if (!::SetupDiGetDeviceInterfaceDetailW(set.get(), &interface_data, &detail.header, sizeof(detail), nullptr,
                                            &device)) {
      continue;
    }
    if (::_wcsicmp(detail.header.DevicePath, AsWide(device_path)) == 0) break;
  }
  const HKEY device_key = ::SetupDiOpenDevRegKey(set.get(), &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  if (device_key == INVALID_HANDLE_VALUE) return false;
  UniqueKey key(device_key);
  DWORD type = 0;
  DWORD length = buffer_size;
  if (!Result(::RegQueryValueExW(key.get(), L"EDID", nullptr, &type, buffer, &length))) return false;
  if (type != REG_BINARY) return Result(ERROR_INVALID_DATA);
  *size = length;
  return true;
}

}  // namespace monctl::platform
