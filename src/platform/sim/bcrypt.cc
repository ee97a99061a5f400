// The cryptographic provider of the native build: OpenSSL's
// (openssl/bcrypt.cc), behind the fault layer. A call that a test fails
// returns the error as its status and does nothing, except the release
// functions, which release and then report the failure: what is tested is
// how the caller takes the result.
#include "platform/bcrypt.h"

#include "platform/openssl/bcrypt.h"
#include "platform/sim/faults.h"

namespace monctl::platform {
namespace {

using sim::Call;

// The status with which a test makes this call fail; 0 to carry it out.
NTSTATUS InjectedStatus(Call call) { return static_cast<NTSTATUS>(sim::InjectedError(call)); }

}  // namespace

NTSTATUS BCryptOpenAlgorithmProvider(BcryptAlgHandle* algorithm, const char16_t* algorithm_id,
                                     const char16_t* implementation, uint32_t flags) {
  if (const NTSTATUS status = InjectedStatus(Call::kBCryptOpenAlgorithmProvider)) {
    if (algorithm != nullptr) *algorithm = nullptr;
    return status;
  }
  return openssl::BCryptOpenAlgorithmProvider(algorithm, algorithm_id, implementation, flags);
}

NTSTATUS BCryptCloseAlgorithmProvider(BcryptAlgHandle algorithm, uint32_t flags) {
  if (const NTSTATUS status = openssl::BCryptCloseAlgorithmProvider(algorithm, flags)) return status;
  return InjectedStatus(Call::kBCryptCloseAlgorithmProvider);
}

NTSTATUS BCryptGetProperty(BcryptAlgHandle algorithm, const char16_t* property, uint8_t* output,
                           uint32_t output_size, uint32_t* result, uint32_t flags) {
  if (const NTSTATUS status = InjectedStatus(Call::kBCryptGetProperty)) return status;
  return openssl::BCryptGetProperty(algorithm, property, output, output_size, result, flags);
}

NTSTATUS BCryptSetProperty(BcryptAlgHandle algorithm, const char16_t* property,
                           const uint8_t* input, uint32_t input_size, uint32_t flags) {
  if (const NTSTATUS status = InjectedStatus(Call::kBCryptSetProperty)) return status;
  return openssl::BCryptSetProperty(algorithm, property, input, input_size, flags);
}

NTSTATUS BCryptImportKey(BcryptAlgHandle algorithm, BcryptKeyHandle import_key,
                         const char16_t* blob_type, BcryptKeyHandle* key, uint8_t* key_object,
                         uint32_t key_object_size, const uint8_t* input, uint32_t input_size,
                         uint32_t flags) {
  if (const NTSTATUS status = InjectedStatus(Call::kBCryptImportKey)) return status;
  return openssl::BCryptImportKey(algorithm, import_key, blob_type, key, key_object, key_object_size,
                                  input, input_size, flags);
}

NTSTATUS BCryptImportKeyPair(BcryptAlgHandle algorithm, BcryptKeyHandle import_key,
                             const char16_t* blob_type, BcryptKeyHandle* key,
                             const uint8_t* input, uint32_t input_size, uint32_t flags) {
  if (const NTSTATUS status = InjectedStatus(Call::kBCryptImportKeyPair)) return status;
  return openssl::BCryptImportKeyPair(algorithm, import_key, blob_type, key, input, input_size, flags);
}

NTSTATUS BCryptDestroyKey(BcryptKeyHandle key) {
  if (const NTSTATUS status = openssl::BCryptDestroyKey(key)) return status;
  return InjectedStatus(Call::kBCryptDestroyKey);
}

NTSTATUS BCryptEncrypt(BcryptKeyHandle key, const uint8_t* input, uint32_t input_size,
                       const void* padding_info, uint8_t* iv, uint32_t iv_size, uint8_t* output,
                       uint32_t output_size, uint32_t* result, uint32_t flags) {
  if (const NTSTATUS status = InjectedStatus(Call::kBCryptEncrypt)) return status;
  return openssl::BCryptEncrypt(key, input, input_size, padding_info, iv, iv_size, output, output_size,
                                result, flags);
}

NTSTATUS BCryptGenRandom(BcryptAlgHandle algorithm, uint8_t* buffer, uint32_t size,
                         uint32_t flags) {
  if (const NTSTATUS status = InjectedStatus(Call::kBCryptGenRandom)) return status;
  return openssl::BCryptGenRandom(algorithm, buffer, size, flags);
}

}  // namespace monctl::platform
