// DDC/CI beyond the four levels: retries of the failures that the bus makes
// now and then, the names of VCP codes and input sources, and what a
// monitor's capabilities string says.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace monctl {

// After attempt `attempt` (0, 1, ...) of a DDC/CI call has failed: true,
// after a pause, when the last error is one that a new attempt may not
// meet and the call has been made fewer than three times. The last error
// is kept.
bool PauseBeforeRetry(unsigned attempt);

// Calls a monitor configuration function with `arguments` until it
// succeeds, retrying the failures that PauseBeforeRetry allows.
template <class... Parameters, class... Arguments>
bool Retried(bool (*function)(Parameters...), Arguments... arguments) {
  for (unsigned attempt = 0;; ++attempt) {
    if (function(arguments...)) return true;
    if (!PauseBeforeRetry(attempt)) return false;
  }
}

constexpr uint8_t kVcpInputSource = 0x60;

// The MCCS name of a VCP code: "Manufacturer Specific" for 0xE0 to 0xFF,
// "Unknown" for a code without one.
const char16_t* VcpName(uint8_t code);
// The name of an input source value (VCP 0x60): "HDMI 1", or "0x1B".
std::u16string InputSourceName(uint32_t value);

// What a capabilities string says, as far as it can be read.
struct Capabilities {
  struct Vcp {
    uint8_t code;
    std::vector<uint8_t> values;  // empty: none listed
  };
  std::optional<std::string> type;
  std::optional<std::string> model;
  std::optional<std::string> mccs_version;
  std::vector<Vcp> vcp;  // in the string's order
};

// Reads `text` leniently: the outer parentheses may be missing, hex digits
// may be in either case, blanks may run, and the text may end anywhere.
Capabilities ParseCapabilities(std::string_view text);

}  // namespace monctl
