// The display configuration on Windows (user32) and a monitor's EDID from
// its device's registry key (SetupAPI, advapi32).
#include "platform/display_config.h"

#include <windows.h>
#include <setupapi.h>

#include <cstddef>

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

void DestroyDeviceInfoList(HDEVINFO set) { ::SetupDiDestroyDeviceInfoList(set); }
void CloseKey(HKEY key) { ::RegCloseKey(key); }

// Both functions report failure with INVALID_HANDLE_VALUE, which is checked
// before a handle is owned.
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
  // A set that holds only the monitor device of the interface.
  const HDEVINFO empty_set = ::SetupDiCreateDeviceInfoList(nullptr, nullptr);
  if (empty_set == INVALID_HANDLE_VALUE) return false;
  UniqueDeviceInfoList set(empty_set);
  SP_DEVICE_INTERFACE_DATA interface_data = {};
  interface_data.cbSize = sizeof(interface_data);
  if (!::SetupDiOpenDeviceInterfaceW(set.get(), AsWide(device_path), 0, &interface_data)) return false;
  SP_DEVINFO_DATA device = {};
  device.cbSize = sizeof(device);
  if (!::SetupDiEnumDeviceInfo(set.get(), 0, &device)) return false;
  const HKEY device_key = ::SetupDiOpenDevRegKey(set.get(), &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  if (device_key == INVALID_HANDLE_VALUE) return false;
  UniqueKey key(device_key);
  DWORD type = 0;
  DWORD length = buffer_size;
  const LONG error = ::RegQueryValueExW(key.get(), L"EDID", nullptr, &type, buffer, &length);
  if (!Result(error)) return false;
  if (type != REG_BINARY) return Result(ERROR_INVALID_DATA);
  *size = length;
  return true;
}

}  // namespace monctl::platform
