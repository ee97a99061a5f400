#include "app/ddc.h"

#include <algorithm>
#include <iterator>

#include "framework/output/format.h"
#include "platform/system.h"

namespace monctl {
namespace {

// The errors of a noisy bus or a monitor that answered badly once; mingw's
// headers lack their names.
constexpr uint32_t kTransientErrors[] = {
    0xC0262582,  // ERROR_GRAPHICS_I2C_ERROR_TRANSMITTING_DATA
    0xC0262583,  // ERROR_GRAPHICS_I2C_ERROR_RECEIVING_DATA
    0xC0262585,  // ERROR_GRAPHICS_DDCCI_INVALID_DATA
    0xC0262586,  // ERROR_GRAPHICS_DDCCI_MONITOR_RETURNED_INVALID_TIMING_STATUS_BYTE
    0xC0262589,  // ERROR_GRAPHICS_DDCCI_INVALID_MESSAGE_COMMAND
    0xC026258A,  // ERROR_GRAPHICS_DDCCI_INVALID_MESSAGE_LENGTH
    0xC026258B,  // ERROR_GRAPHICS_DDCCI_INVALID_MESSAGE_CHECKSUM
};

// The pause before the second and the third attempt.
constexpr uint32_t kRetryPauses[] = {50, 100};

struct VcpCodeName {
  uint8_t code;
  const char16_t* name;
};

// MCCS names, by code.
constexpr VcpCodeName kVcpNames[] = {
    {0x02, u"New Control Value"},
    {0x04, u"Restore Factory Defaults"},
    {0x05, u"Restore Factory Brightness/Contrast Defaults"},
    {0x06, u"Restore Factory Geometry Defaults"},
    {0x08, u"Restore Factory Color Defaults"},
    {0x0B, u"Color Temperature Increment"},
    {0x0C, u"Color Temperature Request"},
    {0x10, u"Brightness"},
    {0x12, u"Contrast"},
    {0x14, u"Select Color Preset"},
    {0x16, u"Video Gain (Drive): Red"},
    {0x18, u"Video Gain (Drive): Green"},
    {0x1A, u"Video Gain (Drive): Blue"},
    {0x52, u"Active Control"},
    {0x60, u"Input Source"},
    {0x62, u"Audio Speaker Volume"},
    {0x6C, u"Video Black Level: Red"},
    {0x6E, u"Video Black Level: Green"},
    {0x70, u"Video Black Level: Blue"},
    {0x86, u"Display Scaling"},
    {0x87, u"Sharpness"},
    {0x8D, u"Audio Mute"},
    {0xAA, u"Screen Orientation"},
    {0xAC, u"Horizontal Frequency"},
    {0xAE, u"Vertical Frequency"},
    {0xB2, u"Flat Panel Sub-Pixel Layout"},
    {0xB6, u"Display Technology Type"},
    {0xC0, u"Display Usage Time"},
    {0xC6, u"Application Enable Key"},
    {0xC8, u"Display Controller Type"},
    {0xC9, u"Display Firmware Level"},
    {0xCA, u"OSD"},
    {0xCC, u"OSD Language"},
    {0xD6, u"Power Mode"},
    {0xDC, u"Display Mode"},
    {0xDF, u"VCP Version"},
};

// Input source values 0x01 to 0x12.
constexpr const char16_t* kInputSources[] = {
    u"VGA 1",        u"VGA 2",         u"DVI 1",         u"DVI 2",         u"Composite 1",   u"Composite 2",
    u"S-Video 1",    u"S-Video 2",     u"Tuner 1",       u"Tuner 2",       u"Tuner 3",       u"Component 1",
    u"Component 2",  u"Component 3",   u"DisplayPort 1", u"DisplayPort 2", u"HDMI 1",        u"HDMI 2",
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// The text after the '(' before `at` up to its matching ')', or to the end
// when the text is cut off; `at` moves past it.
std::string_view Group(std::string_view text, size_t& at) {
  const size_t start = at;
  for (int depth = 1; at < text.size(); ++at) {
    if (text[at] == '(') {
      ++depth;
    } else if (text[at] == ')' && --depth == 0) {
      return text.substr(start, at++ - start);
    }
  }
  return text.substr(start);
}

std::string Trimmed(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return std::string(text);
}

// The bytes of the run of hex digits at `at`, two digits each (a last
// single digit alone); `at` moves past the run.
void ReadHexRun(std::string_view text, size_t& at, std::vector<uint8_t>* bytes) {
  const size_t start = at;
  while (at < text.size() && HexValue(text[at]) >= 0) ++at;
  for (size_t i = start; i < at; i += 2) {
    const int high = HexValue(text[i]);
    bytes->push_back(static_cast<uint8_t>(i + 1 < at ? high * 16 + HexValue(text[i + 1]) : high));
  }
}

// The vcp(...) list: codes, each optionally followed by its values in
// parentheses; anything else is passed over.
void ReadVcpList(std::string_view list, std::vector<Capabilities::Vcp>* vcp) {
  for (size_t at = 0; at < list.size();) {
    if (HexValue(list[at]) < 0) {
      ++at;
      continue;
    }
    std::vector<uint8_t> codes;
    ReadHexRun(list, at, &codes);
    for (const uint8_t code : codes) vcp->push_back({code, {}});
    while (at < list.size() && IsBlank(list[at])) ++at;
    if (at < list.size() && list[at] == '(') {
      const std::string_view values = Group(list, ++at);
      for (size_t i = 0; i < values.size();) {
        if (HexValue(values[i]) >= 0) {
          ReadHexRun(values, i, &vcp->back().values);
        } else {
          ++i;
        }
      }
    }
  }
}

}  // namespace

bool PauseBeforeRetry(unsigned attempt) {
  const uint32_t error = platform::GetLastError();
  if (attempt >= std::size(kRetryPauses) || std::find(std::begin(kTransientErrors), std::end(kTransientErrors), error) ==
                                                std::end(kTransientErrors)) {
    return false;
  }
  platform::Sleep(kRetryPauses[attempt]);
  platform::SetLastError(error);
  return true;
}

const char16_t* VcpName(uint8_t code) {
  if (code >= 0xE0) return u"Manufacturer Specific";
  const auto* it = std::find_if(std::begin(kVcpNames), std::end(kVcpNames),
                                [code](const VcpCodeName& entry) { return entry.code == code; });
  return it != std::end(kVcpNames) ? it->name : u"Unknown";
}

std::u16string InputSourceName(uint32_t value) {
  if (value >= 1 && value <= std::size(kInputSources)) return kInputSources[value - 1];
  return Format(u"0x%02X", value);
}

Capabilities ParseCapabilities(std::string_view text) {
  size_t at = 0;
  while (at < text.size() && IsBlank(text[at])) ++at;
  if (at < text.size() && text[at] == '(') text = Group(text, ++at);
  Capabilities result;
  for (at = 0; at < text.size();) {
    const size_t start = at;
    while (at < text.size() && IsNameCharacter(text[at])) ++at;
    if (at == start) {
      ++at;
      continue;
    }
    std::string name(text.substr(start, at - start));
    std::transform(name.begin(), name.end(), name.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; });
    while (at < text.size() && IsBlank(text[at])) ++at;
    if (at == text.size() || text[at] != '(') continue;
    const std::string_view value = Group(text, ++at);
    if (name == "vcp") {
      ReadVcpList(value, &result.vcp);
    } else {
      std::optional<std::string>* field = name == "type"       ? &result.type
                                          : name == "model"    ? &result.model
                                          : name == "mccs_ver" ? &result.mccs_version
                                                               : nullptr;
      if (field != nullptr && !*field) *field = Trimmed(value);
    }
  }
  return result;
}

}  // namespace monctl
