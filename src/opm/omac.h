// AES-128 OMAC1 (AES-CMAC, RFC 4493): the 16-byte tag of every OPM request
// and answer, with the AES block operation taken from the platform's
// provider in CBC mode.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace monctl::opm {

constexpr uint32_t kOmacSize = 16;

// Writes the full 16-byte tag of `length` bytes at `message` under the
// 16-byte `key`. `message` may be null when `length` is 0.
platform::HRESULT ComputeOmac(const uint8_t* key, const uint8_t* message, uint32_t length,
                              uint8_t* tag);

// The 16-byte block `in` as a 128-bit number (byte 0 most significant)
// shifted left by one bit into `out`; the top bit is dropped.
void ShiftLeftOneBit(const uint8_t* in, uint8_t* out);

// True when the two 16-byte tags are equal, in time independent of where
// they differ.
bool TagsEqual(const uint8_t* a, const uint8_t* b);

}  // namespace monctl::opm
