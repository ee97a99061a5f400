// The driver's certificate and the RSA key exchange of the OPM handshake:
// the driver's public key picked out of its PKCS #7 certificate message by
// enhanced key usage and imported into the provider.
#pragma once

#include <cstdint>
#include <memory>

#include "opm/crypto_handles.h"
#include "platform/types.h"

namespace monctl::opm {

// The enhanced key usage that marks the certificate of an OPM driver key.
inline constexpr char kOpmCertificateUsage[] = "1.3.6.1.4.1.311.10.5.8";

// Size of OPM_ENCRYPTED_INITIALIZATION_PARAMETERS: the ciphertext of a
// 2048-bit key, the only key length the driver can take.
constexpr uint32_t kEncryptedParametersSize = 256;

// A public key as RSA_CSP_PUBLICKEYBLOB: PUBLICKEYSTRUC, RSAPUBKEY, then the
// modulus, least significant byte first.
struct DecodedPublicKey {
  std::unique_ptr<uint8_t[]> data;
  uint32_t size = 0;
};

// The public key of the first certificate in `message` whose enhanced key
// usage is exactly kOpmCertificateUsage.
platform::HRESULT DecodeDriverPublicKey(const uint8_t* message, uint32_t length,
                                        DecodedPublicKey* decoded);

// Replaces `key` with the RSA public key from the certificate message.
platform::HRESULT ImportDriverPublicKey(UniqueKey* key, const uint8_t* message, uint32_t length);

// The provider's RSAPUBLICBLOB (BCRYPT_RSAKEY_BLOB, exponent, modulus, most
// significant byte first) for a key decoded by DecodeDriverPublicKey,
// allocated with CoTaskMemAlloc.
platform::HRESULT BuildRsaPublicBlob(const DecodedPublicKey& decoded, UniqueTaskMemory* blob,
                                     uint32_t* blob_size);

// The result of a certificate function that failed with last-error value
// `error`: HRESULT_FROM_WIN32, or E_FAIL when that gives no failure code.
platform::HRESULT FailureFromLastError(uint32_t error);

// Four bytes from the system generator.
platform::HRESULT GetRandomUInt32(uint32_t* value);

}  // namespace monctl::opm
