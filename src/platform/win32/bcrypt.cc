// The cryptographic provider interface on bcrypt. The portable handles are
// bcrypt's own (the simulated driver's Windows build relies on that to
// decrypt with a key imported here), and the portable structures have the
// Win32 layout, so every function passes its arguments through.
#include "platform/bcrypt.h"

#include <windows.h>
#include <bcrypt.h>

#include <cstddef>

#include "platform/win32/wide.h"

namespace monctl::platform {
namespace {

static_assert(sizeof(BcryptOaepPaddingInfo) == sizeof(BCRYPT_OAEP_PADDING_INFO));
static_assert(offsetof(BcryptOaepPaddingInfo, pbLabel) ==
              offsetof(BCRYPT_OAEP_PADDING_INFO, pbLabel));
static_assert(offsetof(BcryptOaepPaddingInfo, cbLabel) ==
              offsetof(BCRYPT_OAEP_PADDING_INFO, cbLabel));
static_assert(sizeof(BcryptKeyDataBlobHeader) == sizeof(BCRYPT_KEY_DATA_BLOB_HEADER));
static_assert(sizeof(BcryptRsaKeyBlob) == sizeof(BCRYPT_RSAKEY_BLOB));
static_assert(kBcryptPadOaep == BCRYPT_PAD_OAEP);
static_assert(kBcryptUseSystemPreferredRng == BCRYPT_USE_SYSTEM_PREFERRED_RNG);
static_assert(kBcryptKeyDataBlobMagic == BCRYPT_KEY_DATA_BLOB_MAGIC);
static_assert(kBcryptRsaPublicMagic == BCRYPT_RSAPUBLIC_MAGIC);
static_assert(kStatusNotImplemented == static_cast<NTSTATUS>(0xC0000002L));

BCRYPT_ALG_HANDLE Native(BcryptAlgHandle algorithm) {
  return reinterpret_cast<BCRYPT_ALG_HANDLE>(algorithm);
}
BCRYPT_KEY_HANDLE Native(BcryptKeyHandle key) { return reinterpret_cast<BCRYPT_KEY_HANDLE>(key); }

}  // namespace

NTSTATUS BCryptOpenAlgorithmProvider(BcryptAlgHandle* algorithm, const char16_t* algorithm_id,
                                     const char16_t* implementation, uint32_t flags) {
  return ::BCryptOpenAlgorithmProvider(reinterpret_cast<BCRYPT_ALG_HANDLE*>(algorithm),
                                       AsWide(algorithm_id), AsWide(implementation), flags);
}

NTSTATUS BCryptCloseAlgorithmProvider(BcryptAlgHandle algorithm, uint32_t flags) {
  return ::BCryptCloseAlgorithmProvider(Native(algorithm), flags);
}

NTSTATUS BCryptGetProperty(BcryptAlgHandle algorithm, const char16_t* property, uint8_t* output,
                           uint32_t output_size, uint32_t* result, uint32_t flags) {
  ULONG written = 0;
  const NTSTATUS status =
      ::BCryptGetProperty(Native(algorithm), AsWide(property), output, output_size, &written, flags);
  if (result != nullptr) *result = written;
  return status;
}

NTSTATUS BCryptSetProperty(BcryptAlgHandle algorithm, const char16_t* property,
                           const uint8_t* input, uint32_t input_size, uint32_t flags) {
  return ::BCryptSetProperty(Native(algorithm), AsWide(property), const_cast<PUCHAR>(input),
                             input_size, flags);
}

NTSTATUS BCryptImportKey(BcryptAlgHandle algorithm, BcryptKeyHandle import_key,
                         const char16_t* blob_type, BcryptKeyHandle* key, uint8_t* key_object,
                         uint32_t key_object_size, const uint8_t* input, uint32_t input_size,
                         uint32_t flags) {
  return ::BCryptImportKey(Native(algorithm), Native(import_key), AsWide(blob_type),
                           reinterpret_cast<BCRYPT_KEY_HANDLE*>(key), key_object, key_object_size,
                           const_cast<PUCHAR>(input), input_size, flags);
}

NTSTATUS BCryptImportKeyPair(BcryptAlgHandle algorithm, BcryptKeyHandle import_key,
                             const char16_t* blob_type, BcryptKeyHandle* key,
                             const uint8_t* input, uint32_t input_size, uint32_t flags) {
  return ::BCryptImportKeyPair(Native(algorithm), Native(import_key), AsWide(blob_type),
                               reinterpret_cast<BCRYPT_KEY_HANDLE*>(key),
                               const_cast<PUCHAR>(input), input_size, flags);
}

NTSTATUS BCryptDestroyKey(BcryptKeyHandle key) { return ::BCryptDestroyKey(Native(key)); }

NTSTATUS BCryptEncrypt(BcryptKeyHandle key, const uint8_t* input, uint32_t input_size,
                       const void* padding_info, uint8_t* iv, uint32_t iv_size, uint8_t* output,
                       uint32_t output_size, uint32_t* result, uint32_t flags) {
  ULONG written = 0;
  const NTSTATUS status =
      ::BCryptEncrypt(Native(key), const_cast<PUCHAR>(input), input_size,
                      const_cast<void*>(padding_info), iv, iv_size, output, output_size, &written,
                      flags);
  if (result != nullptr) *result = written;
  return status;
}

NTSTATUS BCryptGenRandom(BcryptAlgHandle algorithm, uint8_t* buffer, uint32_t size,
                         uint32_t flags) {
  return ::BCryptGenRandom(Native(algorithm), buffer, size, flags);
}

}  // namespace monctl::platform
