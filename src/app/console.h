// The tool's console application: its options, their values and the
// checks of their combination.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "framework/console/base_console.h"
#include "platform/display.h"

namespace monctl {

// Option bits in m_dwParameters.
constexpr uint32_t kOptionDevice = 0x1;
constexpr uint32_t kOptionBrightness = 0x2;
constexpr uint32_t kOptionContrast = 0x4;
constexpr uint32_t kOptionListDevices = 0x8;
constexpr uint32_t kOptionPosition = 0x10;
constexpr uint32_t kOptionProperties = 0x20;
constexpr uint32_t kOptionPower = 0x40;
constexpr uint32_t kOptionRotate = 0x80;
constexpr uint32_t kOptionSave = 0x100;
constexpr uint32_t kOptionToggle = 0x200;
constexpr uint32_t kOptionMonitor = 0x400;
constexpr uint32_t kOptionJson = 0x800;
constexpr uint32_t kOptionVcp = 0x1000;
constexpr uint32_t kOptionInput = 0x2000;
constexpr uint32_t kOptionCapabilities = 0x4000;

// Rotation keyword values.
constexpr uint32_t kRotate0 = 0x1;
constexpr uint32_t kRotate90 = 0x2;
constexpr uint32_t kRotate180 = 0x4;
constexpr uint32_t kRotate270 = 0x8;
constexpr uint32_t kRotateCw = 0x10;
constexpr uint32_t kRotateCcw = 0x20;
constexpr uint32_t kRotateDefault = 0x40;

// Power keyword values.
constexpr uint32_t kPowerOn = 0x1;
constexpr uint32_t kPowerOff = 0x2;
constexpr uint32_t kPowerLow = 0x4;
constexpr uint32_t kPowerSaver = 0x8;

extern const KEYWORD kToolOptions[15];
extern const KEYWORD kRotateKeywords[7];
extern const KEYWORD kPowerKeywords[4];
// The keyword of /device: every physical monitor.
extern const KEYWORD kDeviceKeywords[1];
// Input source keywords; the value is the VCP 0x60 value.
extern const KEYWORD kInputKeywords[18];

class CConsole : public CBaseConsole {
 public:
  CConsole();
  ~CConsole() override;

  std::u16string GetDescription() override;
  std::u16string GetSyntax() override;
  int32_t OnParameter(const char16_t* name, char16_t** values, uint32_t count) override;
  bool ValidateParameters() override;

  int32_t m_nDevice = 0;
  bool m_bAllDevices = false;  // /device all
  bool m_bDeviceGiven = false;  // /device on the command line, not the default
  int32_t m_nBrightness = 50;
  int32_t m_nContrast = 50;
  platform::Point m_ptPosition = {0, 0};
  uint32_t m_dwPower = kPowerOn;
  uint32_t m_dwRotate = kRotate0;
  std::u16string m_strMonitor;  // /monitor: serial number, id or part of the model name
  uint8_t m_nVcpCode = 0;
  std::optional<uint32_t> m_nVcpValue;  // none: the feature is only read
  uint32_t m_dwInput = 0;               // the input source's VCP 0x60 value
};

// The program's one application object, which is also the message writer
// of the whole process.
CConsole& TheConsole();

}  // namespace monctl
