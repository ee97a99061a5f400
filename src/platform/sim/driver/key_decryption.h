// RSAES-OAEP decryption with the driver's private key (SHA-512 for the hash
// and MGF1, no label): OpenSSL natively, bcrypt in the Windows build.
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

}  // namespace monctl::sim
