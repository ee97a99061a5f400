// The cryptographic provider functions (bcrypt) that the output protection
// query calls. Each declaration has the meaning of the Win32 function of the
// same name; the handles are opaque. As on Windows, every call returns an
// NTSTATUS, 0 on success.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace monctl::platform {

struct BcryptAlgorithmTag;
struct BcryptKeyTag;
using BcryptAlgHandle = BcryptAlgorithmTag*;  // BCRYPT_ALG_HANDLE
using BcryptKeyHandle = BcryptKeyTag*;        // BCRYPT_KEY_HANDLE

// Algorithm and provider names.
inline constexpr char16_t kBcryptAesAlgorithm[] = u"AES";
inline constexpr char16_t kBcryptRsaAlgorithm[] = u"RSA";
inline constexpr char16_t kBcryptSha1Algorithm[] = u"SHA1";
inline constexpr char16_t kBcryptSha256Algorithm[] = u"SHA256";
inline constexpr char16_t kBcryptSha384Algorithm[] = u"SHA384";
inline constexpr char16_t kBcryptSha512Algorithm[] = u"SHA512";
inline constexpr char16_t kMsPrimitiveProvider[] = u"Microsoft Primitive Provider";

// Properties and their values.
inline constexpr char16_t kBcryptObjectLength[] = u"ObjectLength";
inline constexpr char16_t kBcryptChainingMode[] = u"ChainingMode";
inline constexpr char16_t kBcryptChainModeCbc[] = u"ChainingModeCBC";

// Key blob types.
inline constexpr char16_t kBcryptKeyDataBlob[] = u"KeyDataBlob";
inline constexpr char16_t kBcryptRsaPublicBlob[] = u"RSAPUBLICBLOB";

// BCRYPT_KEY_DATA_BLOB_HEADER, followed by cbKeyData key bytes.
struct BcryptKeyDataBlobHeader {
  uint32_t dwMagic;
  uint32_t dwVersion;
  uint32_t cbKeyData;
};
constexpr uint32_t kBcryptKeyDataBlobMagic = 0x4D42444B;  // "KDBM"
constexpr uint32_t kBcryptKeyDataBlobVersion1 = 1;

// BCRYPT_RSAKEY_BLOB, followed by the exponent and the modulus, most
// significant byte first.
struct BcryptRsaKeyBlob {
  uint32_t Magic;
  uint32_t BitLength;
  uint32_t cbPublicExp;
  uint32_t cbModulus;
  uint32_t cbPrime1;
  uint32_t cbPrime2;
};
constexpr uint32_t kBcryptRsaPublicMagic = 0x31415352;  // "RSA1"

// BCRYPT_OAEP_PADDING_INFO.
struct BcryptOaepPaddingInfo {
  const char16_t* pszAlgId;
  uint8_t* pbLabel;
  uint32_t cbLabel;
};

// Flags.
constexpr uint32_t kBcryptPadNone = 0x1;
constexpr uint32_t kBcryptPadPkcs1 = 0x2;
constexpr uint32_t kBcryptPadOaep = 0x4;
constexpr uint32_t kBcryptUseSystemPreferredRng = 0x2;

// Status values.
constexpr NTSTATUS kStatusSuccess = 0;
constexpr NTSTATUS kStatusNotImplemented = static_cast<NTSTATUS>(0xC0000002u);
constexpr NTSTATUS kStatusInvalidHandle = static_cast<NTSTATUS>(0xC0000008u);
constexpr NTSTATUS kStatusInvalidParameter = static_cast<NTSTATUS>(0xC000000Du);
constexpr NTSTATUS kStatusNoMemory = static_cast<NTSTATUS>(0xC0000017u);
constexpr NTSTATUS kStatusBufferTooSmall = static_cast<NTSTATUS>(0xC0000023u);
constexpr NTSTATUS kStatusNotSupported = static_cast<NTSTATUS>(0xC00000BBu);
constexpr NTSTATUS kStatusInternalError = static_cast<NTSTATUS>(0xC00000E5u);
constexpr NTSTATUS kStatusInvalidBufferSize = static_cast<NTSTATUS>(0xC0000206u);
constexpr NTSTATUS kStatusNotFound = static_cast<NTSTATUS>(0xC0000225u);

NTSTATUS BCryptOpenAlgorithmProvider(BcryptAlgHandle* algorithm, const char16_t* algorithm_id,
                                     const char16_t* implementation, uint32_t flags);
NTSTATUS BCryptCloseAlgorithmProvider(BcryptAlgHandle algorithm, uint32_t flags);

NTSTATUS BCryptGetProperty(BcryptAlgHandle algorithm, const char16_t* property, uint8_t* output,
                           uint32_t output_size, uint32_t* result, uint32_t flags);
NTSTATUS BCryptSetProperty(BcryptAlgHandle algorithm, const char16_t* property,
                           const uint8_t* input, uint32_t input_size, uint32_t flags);

// A symmetric key from a key blob. `key_object` (at least "ObjectLength"
// bytes) is the memory the key lives in and must outlive it.
NTSTATUS BCryptImportKey(BcryptAlgHandle algorithm, BcryptKeyHandle import_key,
                         const char16_t* blob_type, BcryptKeyHandle* key, uint8_t* key_object,
                         uint32_t key_object_size, const uint8_t* input, uint32_t input_size,
                         uint32_t flags);
// An asymmetric key from a key blob.
NTSTATUS BCryptImportKeyPair(BcryptAlgHandle algorithm, BcryptKeyHandle import_key,
                             const char16_t* blob_type, BcryptKeyHandle* key,
                             const uint8_t* input, uint32_t input_size, uint32_t flags);
NTSTATUS BCryptDestroyKey(BcryptKeyHandle key);

// Encrypts `input` into `output` (the two may be the same buffer). With no
// `output` only the length of the result is given in `result`. For a block
// cipher in CBC mode without `iv`, the chaining value stays in the key from
// one call to the next. `padding_info` is a BcryptOaepPaddingInfo with
// kBcryptPadOaep.
NTSTATUS BCryptEncrypt(BcryptKeyHandle key, const uint8_t* input, uint32_t input_size,
                       const void* padding_info, uint8_t* iv, uint32_t iv_size, uint8_t* output,
                       uint32_t output_size, uint32_t* result, uint32_t flags);

// With no algorithm and kBcryptUseSystemPreferredRng: the system generator.
NTSTATUS BCryptGenRandom(BcryptAlgHandle algorithm, uint8_t* buffer, uint32_t size,
                         uint32_t flags);

}  // namespace monctl::platform
