// The cryptographic provider interface on bcrypt. The portable handles are
// bcrypt's own (the simulated driver's Windows build relies on that to
// decrypt with a key imported here), and the portable structures have the
// Win32 layout, so every function passes its arguments through.
#include "platform/bcrypt.h"

#include <windows.h>
#include <bcrypt.h>

#include <cstddef>

#include "platform/system.h"
#include "platform/win32/system_library.h"
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

// bcrypt's functions. When one cannot be had, the call answers
// STATUS_DLL_NOT_FOUND or STATUS_ENTRYPOINT_NOT_FOUND.
const SystemFunction<decltype(::BCryptOpenAlgorithmProvider)> kBCryptOpenAlgorithmProvider{
    SystemLibrary::kBcrypt, "BCryptOpenAlgorithmProvider"};
const SystemFunction<decltype(::BCryptCloseAlgorithmProvider)> kBCryptCloseAlgorithmProvider{
    SystemLibrary::kBcrypt, "BCryptCloseAlgorithmProvider"};
const SystemFunction<decltype(::BCryptGetProperty)> kBCryptGetProperty{
    SystemLibrary::kBcrypt, "BCryptGetProperty"};
const SystemFunction<decltype(::BCryptSetProperty)> kBCryptSetProperty{
    SystemLibrary::kBcrypt, "BCryptSetProperty"};
const SystemFunction<decltype(::BCryptImportKey)> kBCryptImportKey{
    SystemLibrary::kBcrypt, "BCryptImportKey"};
const SystemFunction<decltype(::BCryptImportKeyPair)> kBCryptImportKeyPair{
    SystemLibrary::kBcrypt, "BCryptImportKeyPair"};
const SystemFunction<decltype(::BCryptDestroyKey)> kBCryptDestroyKey{
    SystemLibrary::kBcrypt, "BCryptDestroyKey"};
const SystemFunction<decltype(::BCryptEncrypt)> kBCryptEncrypt{
    SystemLibrary::kBcrypt, "BCryptEncrypt"};
const SystemFunction<decltype(::BCryptGenRandom)> kBCryptGenRandom{
    SystemLibrary::kBcrypt, "BCryptGenRandom"};

template <typename Function, typename... Arguments>
NTSTATUS Call(const SystemFunction<Function>& function, Arguments... arguments) {
  constexpr NTSTATUS kStatusDllNotFound = static_cast<NTSTATUS>(0xC0000135u);
  constexpr NTSTATUS kStatusEntrypointNotFound = static_cast<NTSTATUS>(0xC0000139u);
  Function* call = function.Get();
  if (call == nullptr) {
    return GetLastError() == ERROR_PROC_NOT_FOUND ? kStatusEntrypointNotFound : kStatusDllNotFound;
  }
  return call(arguments...);
}

BCRYPT_ALG_HANDLE Native(BcryptAlgHandle algorithm) {
  return reinterpret_cast<BCRYPT_ALG_HANDLE>(algorithm);
}
BCRYPT_KEY_HANDLE Native(BcryptKeyHandle key) { return reinterpret_cast<BCRYPT_KEY_HANDLE>(key); }

}  // namespace

NTSTATUS BCryptOpenAlgorithmProvider(BcryptAlgHandle* algorithm, const char16_t* algorithm_id,
                                     const char16_t* implementation, uint32_t flags) {
  return Call(kBCryptOpenAlgorithmProvider, reinterpret_cast<BCRYPT_ALG_HANDLE*>(algorithm),
                                       AsWide(algorithm_id), AsWide(implementation), flags);
}

NTSTATUS BCryptCloseAlgorithmProvider(BcryptAlgHandle algorithm, uint32_t flags) {
  return Call(kBCryptCloseAlgorithmProvider, Native(algorithm), flags);
}

NTSTATUS BCryptGetProperty(BcryptAlgHandle algorithm, const char16_t* property, uint8_t* output,
                           uint32_t output_size, uint32_t* result, uint32_t flags) {
  ULONG written = 0;
  const NTSTATUS status =
      Call(kBCryptGetProperty, Native(algorithm), AsWide(property), output, output_size, &written, flags);
  if (result != nullptr) *result = written;
  return status;
}

NTSTATUS BCryptSetProperty(BcryptAlgHandle algorithm, const char16_t* property,
                           const uint8_t* input, uint32_t input_size, uint32_t flags) {
  return Call(kBCryptSetProperty, Native(algorithm), AsWide(property), const_cast<PUCHAR>(input),
                             input_size, flags);
}

NTSTATUS BCryptImportKey(BcryptAlgHandle algorithm, BcryptKeyHandle import_key,
                         const char16_t* blob_type, BcryptKeyHandle* key, uint8_t* key_object,
                         uint32_t key_object_size, const uint8_t* input, uint32_t input_size,
                         uint32_t flags) {
  return Call(kBCryptImportKey, Native(algorithm), Native(import_key), AsWide(blob_type),
                           reinterpret_cast<BCRYPT_KEY_HANDLE*>(key), key_object, key_object_size,
                           const_cast<PUCHAR>(input), input_size, flags);
}

NTSTATUS BCryptImportKeyPair(BcryptAlgHandle algorithm, BcryptKeyHandle import_key,
                             const char16_t* blob_type, BcryptKeyHandle* key,
                             const uint8_t* input, uint32_t input_size, uint32_t flags) {
  return Call(kBCryptImportKeyPair, Native(algorithm), Native(import_key), AsWide(blob_type),
                               reinterpret_cast<BCRYPT_KEY_HANDLE*>(key),
                               const_cast<PUCHAR>(input), input_size, flags);
}

NTSTATUS BCryptDestroyKey(BcryptKeyHandle key) { return Call(kBCryptDestroyKey, Native(key)); }

NTSTATUS BCryptEncrypt(BcryptKeyHandle key, const uint8_t* input, uint32_t input_size,
                       const void* padding_info, uint8_t* iv, uint32_t iv_size, uint8_t* output,
                       uint32_t output_size, uint32_t* result, uint32_t flags) {
  ULONG written = 0;
  const NTSTATUS status =
      Call(kBCryptEncrypt, Native(key), const_cast<PUCHAR>(input), input_size,
                      const_cast<void*>(padding_info), iv, iv_size, output, output_size, &written,
                      flags);
  if (result != nullptr) *result = written;
  return status;
}

NTSTATUS BCryptGenRandom(BcryptAlgHandle algorithm, uint8_t* buffer, uint32_t size,
                         uint32_t flags) {
  return Call(kBCryptGenRandom, Native(algorithm), buffer, size, flags);
}

}  // namespace monctl::platform
