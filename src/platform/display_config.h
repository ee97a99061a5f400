// The display configuration (user32's paths from sources to targets, and the
// names of both ends) and a monitor's EDID as the monitor device's registry
// key holds it. The structures have the byte layout of the platform's
// DISPLAYCONFIG_* structures. Every function returns true on success and
// leaves the reason of a failure in the thread's last-error value; for the
// display configuration functions that is the error code they return on
// Windows.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace monctl::platform {

// LUID
struct Luid {
  uint32_t LowPart;
  int32_t HighPart;
};

// DISPLAYCONFIG_PATH_SOURCE_INFO
struct DisplayConfigPathSourceInfo {
  Luid adapterId;
  uint32_t id;
  uint32_t modeInfoIdx;
  uint32_t statusFlags;
};

// DISPLAYCONFIG_PATH_TARGET_INFO
struct DisplayConfigPathTargetInfo {
  Luid adapterId;
  uint32_t id;
  uint32_t modeInfoIdx;
  int32_t outputTechnology;  // DISPLAYCONFIG_VIDEO_OUTPUT_TECHNOLOGY
  uint32_t rotation;
  uint32_t scaling;
  uint32_t refreshRate[2];  // numerator, denominator
  uint32_t scanLineOrdering;
  int32_t targetAvailable;
  uint32_t statusFlags;
};

// DISPLAYCONFIG_PATH_INFO
struct DisplayConfigPathInfo {
  DisplayConfigPathSourceInfo sourceInfo;
  DisplayConfigPathTargetInfo targetInfo;
  uint32_t flags;
};

// DISPLAYCONFIG_MODE_INFO; the tool does not read the modes.
struct alignas(8) DisplayConfigModeInfo {
  uint32_t infoType;
  uint32_t id;
  Luid adapterId;
  uint8_t mode[48];
};

// DISPLAYCONFIG_DEVICE_INFO_HEADER
struct DisplayConfigDeviceInfoHeader {
  uint32_t type;
  uint32_t size;
  Luid adapterId;
  uint32_t id;
};

// DISPLAYCONFIG_SOURCE_DEVICE_NAME
struct DisplayConfigSourceDeviceName {
  DisplayConfigDeviceInfoHeader header;
  char16_t viewGdiDeviceName[32];
};

// DISPLAYCONFIG_TARGET_DEVICE_NAME
struct DisplayConfigTargetDeviceName {
  DisplayConfigDeviceInfoHeader header;
  uint32_t flags;
  int32_t outputTechnology;
  uint16_t edidManufactureId;  // the EDID's two bytes read in little-endian order
  uint16_t edidProductCodeId;
  uint32_t connectorInstance;
  char16_t monitorFriendlyDeviceName[64];
  char16_t monitorDevicePath[128];
};

constexpr uint32_t kQdcOnlyActivePaths = 0x2;
constexpr uint32_t kDisplayConfigDeviceInfoGetSourceName = 1;
constexpr uint32_t kDisplayConfigDeviceInfoGetTargetName = 2;
constexpr uint32_t kDisplayConfigTargetEdidIdsValid = 0x4;  // DISPLAYCONFIG_TARGET_DEVICE_NAME flags

// DISPLAYCONFIG_VIDEO_OUTPUT_TECHNOLOGY values besides the connector numbers 0 to 15.
constexpr int32_t kOutputTechnologyOther = -1;
constexpr int32_t kOutputTechnologyInternal = static_cast<int32_t>(0x80000000u);

bool GetDisplayConfigBufferSizes(uint32_t flags, uint32_t* path_count, uint32_t* mode_count);
// ERROR_INSUFFICIENT_BUFFER when the configuration changed since the sizes
// were asked for.
bool QueryDisplayConfig(uint32_t flags, uint32_t* path_count, DisplayConfigPathInfo* paths, uint32_t* mode_count,
                        DisplayConfigModeInfo* modes);
// `request`'s header says which structure it heads.
bool DisplayConfigGetDeviceInfo(DisplayConfigDeviceInfoHeader* request);

// The value "EDID" of the registry key of the monitor device whose device
// interface is `device_path` (a target's monitorDevicePath): up to
// `buffer_size` bytes into `buffer` and their number into `size`.
// ERROR_MORE_DATA when the buffer is too small.
bool GetMonitorEdid(const char16_t* device_path, uint8_t* buffer, uint32_t buffer_size, uint32_t* size);

}  // namespace monctl::platform
