// What a monitor's EDID says about it: the identity fields of the 128-byte
// base block. Portable: the bytes come from the platform (display_config.h).
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace monctl {

struct EdidIdentity {
  std::u16string manufacturer;  // three letters, e.g. "DEL"; empty: unknown
  uint16_t product_code = 0;
  std::u16string serial;  // empty: none
  std::u16string model;   // empty: none
  uint16_t year = 0;      // 0: unknown
  uint8_t week = 0;       // 0: unknown
  uint8_t width_cm = 0;   // both 0: unknown
  uint8_t height_cm = 0;

  // Manufacturer and product code as four upper-case hex digits: "DEL41B7".
  std::u16string Id() const;
};

// The manufacturer's letters of the big-endian EDID word (five bits each,
// 1 is 'A'); a value that is no letter gives '?'.
std::u16string ManufacturerLetters(uint16_t word);

// Reads the base block at the start of `data`. False, with `identity` left
// alone, when there are fewer than 128 bytes or the header or checksum is
// wrong; extension blocks are not read.
bool ParseEdid(std::span<const uint8_t> data, EdidIdentity* identity);

}  // namespace monctl
