// The Windows build of the simulated driver lives in a test-only dxva2.dll
// and decrypts with bcrypt: the key goes through the cryptography interface
// (platform/win32/bcrypt.cc), whose handles are bcrypt's own, and only the
// decryption, which the tool never needs, is called here.
#include <windows.h>
#include <bcrypt.h>

#include "platform/bcrypt.h"
#include "platform/sim/driver/key_decryption.h"

namespace monctl::sim {

using platform::HRESULT;

HRESULT DecryptWithDriverKey(const DriverKey& key, const uint8_t* ciphertext, size_t size,
                             std::vector<uint8_t>* plaintext) {
  plaintext->clear();
  // BCRYPT_RSAKEY_BLOB, then exponent, modulus and both primes, most
  // significant byte first.
  const BCRYPT_RSAKEY_BLOB header = {
      BCRYPT_RSAPRIVATE_MAGIC,
      key.bits,
      static_cast<ULONG>(key.exponent.size),
      static_cast<ULONG>(key.modulus.size),
      static_cast<ULONG>(key.prime1.size),
      static_cast<ULONG>(key.prime2.size),
  };
  std::vector<uint8_t> blob;
  blob.reserve(sizeof(header) + key.exponent.size + key.modulus.size + key.prime1.size +
               key.prime2.size);
  blob.insert(blob.end(), reinterpret_cast<const uint8_t*>(&header),
              reinterpret_cast<const uint8_t*>(&header) + sizeof(header));
  for (const Bytes& part : {key.exponent, key.modulus, key.prime1, key.prime2}) {
    blob.insert(blob.end(), part.data, part.data + part.size);
  }

  platform::BcryptAlgHandle algorithm = nullptr;
  NTSTATUS status = platform::BCryptOpenAlgorithmProvider(
      &algorithm, platform::kBcryptRsaAlgorithm, platform::kMsPrimitiveProvider, 0);
  if (status != 0) return platform::HresultFromNt(status);
  platform::BcryptKeyHandle handle = nullptr;
  status = platform::BCryptImportKeyPair(algorithm, nullptr, u"RSAPRIVATEBLOB", &handle,
                                         blob.data(), static_cast<uint32_t>(blob.size()), 0);
  if (status == 0) {
    const auto native = reinterpret_cast<BCRYPT_KEY_HANDLE>(handle);
    BCRYPT_OAEP_PADDING_INFO padding = {BCRYPT_SHA512_ALGORITHM, nullptr, 0};
    ULONG length = 0;
    status = BCryptDecrypt(native, const_cast<PUCHAR>(ciphertext), static_cast<ULONG>(size),
                           &padding, nullptr, 0, nullptr, 0, &length, BCRYPT_PAD_OAEP);
    if (status == 0) {
      plaintext->resize(length);
      status = BCryptDecrypt(native, const_cast<PUCHAR>(ciphertext), static_cast<ULONG>(size),
                             &padding, nullptr, 0, plaintext->data(), length, &length,
                             BCRYPT_PAD_OAEP);
      plaintext->resize(status == 0 ? length : 0);
    }
    platform::BCryptDestroyKey(handle);
  }
  platform::BCryptCloseAlgorithmProvider(algorithm, 0);
  return status == 0 ? platform::kOk : platform::HresultFromNt(status);
}

}  // namespace monctl::sim
