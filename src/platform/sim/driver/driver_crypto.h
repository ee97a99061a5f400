// The simulated driver's own cryptography, independent of the tool's: the
// RSAES-OAEP decryption with its private key (SHA-512 for the hash and
// MGF1, no label) and the AES-CMAC of the tags it checks and signs.
// OpenSSL natively, bcrypt in the Windows build.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/sim/driver/driver_material.h"
#include "platform/types.h"

namespace monctl::sim {

// Decrypts `size` bytes of ciphertext into `plaintext`.
platform::HRESULT DecryptWithDriverKey(const DriverKey& key, const uint8_t* ciphertext,
                                       size_t size, std::vector<uint8_t>* plaintext);

// The AES-CMAC (OMAC1, RFC 4493) of `length` bytes at `message` under the
// 16-byte `key`, into the 16 bytes at `tag`.
platform::HRESULT ComputeCmac(const uint8_t* key, const uint8_t* message, size_t length, uint8_t* tag);

}  // namespace monctl::sim
