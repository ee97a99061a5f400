// The cryptographic provider (bcrypt) and certificate functions (crypt32)
// that the output protection query calls. Each declaration has the meaning
// of the Win32 function of the same name; the handles are opaque.
//
// Error model as on Windows: provider calls return an NTSTATUS (0 succeeds);
// certificate functions return false or null on failure and leave the
// reason in the thread's last-error value (GetLastError in platform/system.h).
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace monctl::platform {

// ---------------------------------------------------------------------------
// Provider (bcrypt)
// ---------------------------------------------------------------------------

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

// ---------------------------------------------------------------------------
// Certificates (crypt32)
// ---------------------------------------------------------------------------

struct CertStoreTag;
struct CertContextTag;
using CertStoreHandle = CertStoreTag*;             // HCERTSTORE
using CertContextHandle = const CertContextTag*;  // PCCERT_CONTEXT

// CRYPT_BIT_BLOB.
struct CryptBitBlob {
  uint32_t cbData;
  uint8_t* pbData;
  uint32_t cUnusedBits;
};

// CERT_ENHKEY_USAGE: usage identifiers as zero-terminated ASCII object
// identifiers ("1.3.6.1.5.5.7.3.1").
struct CertEnhKeyUsage {
  uint32_t cUsageIdentifier;
  char** rgpszUsageIdentifier;
};

// PUBLICKEYSTRUC and RSAPUBKEY: the head of an RSA_CSP_PUBLICKEYBLOB,
// followed by the modulus, least significant byte first.
struct PublicKeyStruc {
  uint8_t bType;
  uint8_t bVersion;
  uint16_t reserved;
  uint32_t aiKeyAlg;
};
struct RsaPubKey {
  uint32_t magic;
  uint32_t bitlen;
  uint32_t pubexp;
};
constexpr uint8_t kPublicKeyBlob = 0x6;
constexpr uint8_t kCurBlobVersion = 2;
constexpr uint32_t kCalgRsaKeyx = 0xA400;
constexpr uint32_t kRsa1Magic = 0x31415352;  // "RSA1"

// Encodings and structure types.
constexpr uint32_t kX509AsnEncoding = 0x1;
constexpr uint32_t kPkcs7AsnEncoding = 0x10000;
constexpr uintptr_t kRsaCspPublicKeyBlob = 19;

constexpr uint32_t kCertCloseStoreForceFlag = 0x1;
constexpr uint32_t kCertFindExtOnlyEnhkeyUsageFlag = 0x2;
constexpr uint32_t kCertFindPropOnlyEnhkeyUsageFlag = 0x4;

// Last-error values of the certificate functions.
constexpr uint32_t kErrorMoreData = 234;
constexpr uint32_t kCryptENotFound = 0x80092004;
constexpr uint32_t kCryptEInvalidMsgType = 0x80091004;
constexpr uint32_t kCryptEAsn1Error = 0x80093100;
constexpr uint32_t kCryptEAsn1Eod = 0x80093102;
constexpr uint32_t kCryptEAsn1Corrupt = 0x80093103;
constexpr uint32_t kCryptEAsn1Large = 0x80093104;
constexpr uint32_t kCryptEAsn1BadTag = 0x8009310B;

// A store of the certificates of a PKCS #7 signed message. The store lists
// them as crypt32 does, the certificate added last first, so in the reverse
// of the message's order. `provider` is 0. Null on failure.
CertStoreHandle CryptGetMessageCertificates(uint32_t encoding, uintptr_t provider, uint32_t flags,
                                            const uint8_t* signed_blob, uint32_t blob_size);
// The certificate after `previous` (the first with none); frees `previous`.
// Null with kCryptENotFound at the end.
CertContextHandle CertEnumCertificatesInStore(CertStoreHandle store, CertContextHandle previous);
bool CertFreeCertificateContext(CertContextHandle context);
bool CertCloseStore(CertStoreHandle store, uint32_t flags);

// The certificate's enhanced key usage. With `usage` null, `size` receives
// the bytes needed. A certificate without usage succeeds with no identifier
// and leaves kCryptENotFound as the last-error value (valid for all uses).
bool CertGetEnhancedKeyUsage(CertContextHandle context, uint32_t flags, CertEnhKeyUsage* usage,
                             uint32_t* size);

// pCertInfo->SubjectPublicKeyInfo.PublicKey of the certificate: the encoded
// public key, valid as long as the context.
const CryptBitBlob* CertSubjectPublicKey(CertContextHandle context);

// Decodes `encoded` as `struct_type`. With `struct_info` null, `size`
// receives the bytes needed; a buffer too small fails with kErrorMoreData.
bool CryptDecodeObjectEx(uint32_t encoding, uintptr_t struct_type, const uint8_t* encoded,
                         uint32_t encoded_size, uint32_t flags, const void* decode_para,
                         void* struct_info, uint32_t* size);

}  // namespace monctl::platform
