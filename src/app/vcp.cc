// Any VCP feature, the input source and the capabilities string of the
// selected monitor, through the low-level monitor configuration functions.
#include <cstring>
#include <vector>

#include "app/console.h"
#include "app/ddc.h"
#include "app/physical_monitor.h"
#include "app/steps.h"
#include "framework/output/format.h"
#include "platform/system.h"
#include "platform/text.h"

namespace monctl {
namespace {

// The handle of physical monitor `index`; null, with the last error
// ERROR_INVALID_PARAMETER, when there is none.
platform::PhysicalMonitorHandle Selected(CPhysicalMonitor& monitor, uint32_t index) {
  const platform::PhysicalMonitor* record = monitor.GetMonitor(index);
  return record != nullptr ? record->hPhysicalMonitor : nullptr;
}

struct VcpReading {
  int32_t type = platform::kMcSetParameter;
  uint32_t current = 0;
  uint32_t maximum = 0;
};

bool ReadVcp(platform::PhysicalMonitorHandle handle, uint8_t code, VcpReading* reading) {
  return handle != nullptr && Retried(platform::GetVCPFeatureAndVCPFeatureReply, handle, code, &reading->type,
                                      &reading->current, &reading->maximum);
}

bool WriteVcp(platform::PhysicalMonitorHandle handle, uint8_t code, uint32_t value) {
  return handle != nullptr && Retried(platform::SetVCPFeature, handle, code, value);
}

}  // namespace

bool VcpStep(CConsole& console, CPhysicalMonitor& monitor, uint32_t index) {
  const uint8_t code = console.m_nVcpCode;
  const char16_t* name = VcpName(code);
  VcpReading reading;
  if (!ReadVcp(Selected(monitor, index), code, &reading)) {
    console.WriteLastError(u"could not get VCP code 0x%02X.", code);
    return false;
  }
  if (!console.m_nVcpValue) {
    console.WriteLine(u"VCP code 0x%02X (%s): current value %lu, maximum value %lu%s", code, name, reading.current,
                      reading.maximum, reading.type == platform::kMcMomentary ? u" (momentary)" : u"");
    return true;
  }
  const uint32_t value = *console.m_nVcpValue;
  if (value == reading.current) {
    console.WriteLine(u"The value of VCP code 0x%02X (%s) will remain unchanged.", code, name);
    return true;
  }
  if (!WriteVcp(Selected(monitor, index), code, value)) {
    console.WriteLastError(u"could not set VCP code 0x%02X.", code);
    return false;
  }
  console.WriteLine(u"VCP code 0x%02X (%s) successfully changed from %lu to %lu.", code, name, reading.current, value);
  return true;
}

bool InputStep(CConsole& console, CPhysicalMonitor& monitor, uint32_t index) {
  VcpReading reading;
  if (!ReadVcp(Selected(monitor, index), kVcpInputSource, &reading)) {
    console.WriteLastError(u"could not get input source.");
    return false;
  }
  // Many monitors set the high byte.
  const uint32_t current = reading.current & 0xFF;
  if (current == console.m_dwInput) {
    console.WriteLine(u"The input source will remain unchanged.");
    return true;
  }
  if (!WriteVcp(Selected(monitor, index), kVcpInputSource, console.m_dwInput)) {
    console.WriteLastError(u"could not set input source.");
    return false;
  }
  console.WriteLine(u"Input source successfully changed from %s to %s.", InputSourceName(current).c_str(),
                    InputSourceName(console.m_dwInput).c_str());
  return true;
}

bool CapabilitiesStep(CConsole& console, CPhysicalMonitor& monitor, uint32_t index) {
  const platform::PhysicalMonitorHandle handle = Selected(monitor, index);
  uint32_t length = 0;
  std::vector<char> buffer;
  bool read = handle != nullptr && Retried(platform::GetCapabilitiesStringLength, handle, &length);
  if (read) {
    buffer.resize(size_t{length} + 1);
    read = Retried(platform::CapabilitiesRequestAndCapabilitiesReply, handle, buffer.data(), length);
  }
  if (!read) {
    console.WriteLastError(u"could not get monitor capabilities string.");
    return false;
  }
  // The string ends at its first NUL, whatever length the monitor gave.
  const std::string text(buffer.data(), strnlen(buffer.data(), length));
  const Capabilities capabilities = ParseCapabilities(text);
  const auto row = [&console](std::u16string_view label, const std::u16string& value) {
    console.WriteLine(u"  %-17s: %s", std::u16string(label).c_str(), value.c_str());
  };
  if (capabilities.type) row(u"Type", Utf8ToUtf16(*capabilities.type));
  if (capabilities.model) row(u"Model", Utf8ToUtf16(*capabilities.model));
  if (capabilities.mccs_version) row(u"MCCS Version", Utf8ToUtf16(*capabilities.mccs_version));
  for (const Capabilities::Vcp& vcp : capabilities.vcp) {
    std::u16string value = VcpName(vcp.code);
    for (size_t i = 0; i < vcp.values.size(); ++i) {
      value += i == 0 ? u" (" : u", ";
      value += vcp.code == kVcpInputSource ? InputSourceName(vcp.values[i]) : Format(u"0x%02X", vcp.values[i]);
    }
    if (!vcp.values.empty()) value += u")";
    row(Format(u"VCP 0x%02X", vcp.code), value);
  }
  row(u"Capabilities String", Utf8ToUtf16(text));
  console.NewLine();
  return true;
}

}  // namespace monctl
