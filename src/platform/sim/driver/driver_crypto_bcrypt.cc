// The Windows build of the simulated driver lives in a test-only dxva2.dll
// and uses bcrypt: the key goes through the cryptography interface
// (platform/win32/bcrypt.cc), whose handles are bcrypt's own, and only what
// the tool never needs, the decryption and the CMAC, is called here.
#include "platform/sim/driver/driver_crypto.h"

#include <windows.h>
#include <bcrypt.h>

#include "platform/bcrypt.h"
#include "platform/unique_handle.h"

namespace monctl::sim {

using platform::HRESULT;

namespace {

void CloseAlgorithm(BCRYPT_ALG_HANDLE algorithm) { ::BCryptCloseAlgorithmProvider(algorithm, 0); }
void DestroyHash(BCRYPT_HASH_HANDLE hash) { ::BCryptDestroyHash(hash); }

HRESULT FromStatus(NTSTATUS status) { return status == 0 ? platform::kOk : platform::HresultFromNt(status); }

}  // namespace

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
  if (status != 0) return FromStatus(status);
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
  return FromStatus(status);
}

HRESULT ComputeCmac(const uint8_t* key, const uint8_t* message, size_t length, uint8_t* tag) {
  platform::UniqueHandle<BCRYPT_ALG_HANDLE, &CloseAlgorithm> algorithm;
  NTSTATUS status = ::BCryptOpenAlgorithmProvider(algorithm.put(), BCRYPT_AES_CMAC_ALGORITHM, nullptr, 0);
  if (status != 0) return FromStatus(status);
  platform::UniqueHandle<BCRYPT_HASH_HANDLE, &DestroyHash> hash;
  status = ::BCryptCreateHash(algorithm.get(), hash.put(), nullptr, 0, const_cast<PUCHAR>(key), 16, 0);
  if (status == 0) {
    status = ::BCryptHashData(hash.get(), const_cast<PUCHAR>(message), static_cast<ULONG>(length), 0);
  }
  if (status == 0) status = ::BCryptFinishHash(hash.get(), tag, 16, 0);
  return FromStatus(status);
}

}  // namespace monctl::sim
