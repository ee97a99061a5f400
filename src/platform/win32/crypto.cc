// The cryptography interface on bcrypt and crypt32. The portable handles are
// the Win32 handles (the simulated driver's Windows build relies on that to
// decrypt with a key imported here), and the portable structures have the
// Win32 layout, so every function passes its arguments through.
#include "platform/crypto.h"

#include <windows.h>
#include <bcrypt.h>
#include <wincrypt.h>

#include <cstddef>

namespace monctl::platform {
namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t));

static_assert(sizeof(BcryptOaepPaddingInfo) == sizeof(BCRYPT_OAEP_PADDING_INFO));
static_assert(offsetof(BcryptOaepPaddingInfo, pbLabel) ==
              offsetof(BCRYPT_OAEP_PADDING_INFO, pbLabel));
static_assert(offsetof(BcryptOaepPaddingInfo, cbLabel) ==
              offsetof(BCRYPT_OAEP_PADDING_INFO, cbLabel));
static_assert(sizeof(BcryptKeyDataBlobHeader) == sizeof(BCRYPT_KEY_DATA_BLOB_HEADER));
static_assert(sizeof(BcryptRsaKeyBlob) == sizeof(BCRYPT_RSAKEY_BLOB));

static_assert(sizeof(CryptBitBlob) == sizeof(CRYPT_BIT_BLOB));
static_assert(offsetof(CryptBitBlob, pbData) == offsetof(CRYPT_BIT_BLOB, pbData));
static_assert(offsetof(CryptBitBlob, cUnusedBits) == offsetof(CRYPT_BIT_BLOB, cUnusedBits));
static_assert(sizeof(CertEnhKeyUsage) == sizeof(CERT_ENHKEY_USAGE));
static_assert(offsetof(CertEnhKeyUsage, rgpszUsageIdentifier) ==
              offsetof(CERT_ENHKEY_USAGE, rgpszUsageIdentifier));
static_assert(sizeof(PublicKeyStruc) == sizeof(PUBLICKEYSTRUC));
static_assert(sizeof(RsaPubKey) == sizeof(RSAPUBKEY));

static_assert(kBcryptPadOaep == BCRYPT_PAD_OAEP);
static_assert(kBcryptUseSystemPreferredRng == BCRYPT_USE_SYSTEM_PREFERRED_RNG);
static_assert(kBcryptKeyDataBlobMagic == BCRYPT_KEY_DATA_BLOB_MAGIC);
static_assert(kBcryptRsaPublicMagic == BCRYPT_RSAPUBLIC_MAGIC);
static_assert(kX509AsnEncoding == X509_ASN_ENCODING);
static_assert(kPkcs7AsnEncoding == PKCS_7_ASN_ENCODING);
static_assert(kCertCloseStoreForceFlag == CERT_CLOSE_STORE_FORCE_FLAG);
static_assert(kErrorMoreData == ERROR_MORE_DATA);
static_assert(kCryptENotFound == static_cast<uint32_t>(CRYPT_E_NOT_FOUND));
static_assert(kCryptEInvalidMsgType == static_cast<uint32_t>(CRYPT_E_INVALID_MSG_TYPE));
static_assert(kCryptEAsn1BadTag == static_cast<uint32_t>(CRYPT_E_ASN1_BADTAG));
static_assert(kCryptEAsn1Large == static_cast<uint32_t>(CRYPT_E_ASN1_LARGE));
static_assert(kCertFindExtOnlyEnhkeyUsageFlag == CERT_FIND_EXT_ONLY_ENHKEY_USAGE_FLAG);
static_assert(kCertFindPropOnlyEnhkeyUsageFlag == CERT_FIND_PROP_ONLY_ENHKEY_USAGE_FLAG);
static_assert(kStatusNotImplemented == static_cast<NTSTATUS>(0xC0000002L));

const wchar_t* Wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

BCRYPT_ALG_HANDLE Native(BcryptAlgHandle algorithm) {
  return reinterpret_cast<BCRYPT_ALG_HANDLE>(algorithm);
}
BCRYPT_KEY_HANDLE Native(BcryptKeyHandle key) { return reinterpret_cast<BCRYPT_KEY_HANDLE>(key); }
HCERTSTORE Native(CertStoreHandle store) { return reinterpret_cast<HCERTSTORE>(store); }
PCCERT_CONTEXT Native(CertContextHandle context) {
  return reinterpret_cast<PCCERT_CONTEXT>(context);
}

}  // namespace

NTSTATUS BCryptOpenAlgorithmProvider(BcryptAlgHandle* algorithm, const char16_t* algorithm_id,
                                     const char16_t* implementation, uint32_t flags) {
  return ::BCryptOpenAlgorithmProvider(reinterpret_cast<BCRYPT_ALG_HANDLE*>(algorithm),
                                       Wide(algorithm_id), Wide(implementation), flags);
}

NTSTATUS BCryptCloseAlgorithmProvider(BcryptAlgHandle algorithm, uint32_t flags) {
  return ::BCryptCloseAlgorithmProvider(Native(algorithm), flags);
}

NTSTATUS BCryptGetProperty(BcryptAlgHandle algorithm, const char16_t* property, uint8_t* output,
                           uint32_t output_size, uint32_t* result, uint32_t flags) {
  ULONG written = 0;
  const NTSTATUS status =
      ::BCryptGetProperty(Native(algorithm), Wide(property), output, output_size, &written, flags);
  if (result != nullptr) *result = written;
  return status;
}

NTSTATUS BCryptSetProperty(BcryptAlgHandle algorithm, const char16_t* property,
                           const uint8_t* input, uint32_t input_size, uint32_t flags) {
  return ::BCryptSetProperty(Native(algorithm), Wide(property), const_cast<PUCHAR>(input),
                             input_size, flags);
}

NTSTATUS BCryptImportKey(BcryptAlgHandle algorithm, BcryptKeyHandle import_key,
                         const char16_t* blob_type, BcryptKeyHandle* key, uint8_t* key_object,
                         uint32_t key_object_size, const uint8_t* input, uint32_t input_size,
                         uint32_t flags) {
  return ::BCryptImportKey(Native(algorithm), Native(import_key), Wide(blob_type),
                           reinterpret_cast<BCRYPT_KEY_HANDLE*>(key), key_object, key_object_size,
                           const_cast<PUCHAR>(input), input_size, flags);
}

NTSTATUS BCryptImportKeyPair(BcryptAlgHandle algorithm, BcryptKeyHandle import_key,
                             const char16_t* blob_type, BcryptKeyHandle* key,
                             const uint8_t* input, uint32_t input_size, uint32_t flags) {
  return ::BCryptImportKeyPair(Native(algorithm), Native(import_key), Wide(blob_type),
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

CertStoreHandle CryptGetMessageCertificates(uint32_t encoding, uintptr_t provider, uint32_t flags,
                                            const uint8_t* signed_blob, uint32_t blob_size) {
  return reinterpret_cast<CertStoreHandle>(::CryptGetMessageCertificates(
      encoding, static_cast<HCRYPTPROV_LEGACY>(provider), flags, signed_blob, blob_size));
}

CertContextHandle CertEnumCertificatesInStore(CertStoreHandle store, CertContextHandle previous) {
  return reinterpret_cast<CertContextHandle>(
      ::CertEnumCertificatesInStore(Native(store), Native(previous)));
}

bool CertFreeCertificateContext(CertContextHandle context) {
  return ::CertFreeCertificateContext(Native(context)) != FALSE;
}

bool CertCloseStore(CertStoreHandle store, uint32_t flags) {
  return ::CertCloseStore(Native(store), flags) != FALSE;
}

bool CertGetEnhancedKeyUsage(CertContextHandle context, uint32_t flags, CertEnhKeyUsage* usage,
                             uint32_t* size) {
  DWORD bytes = size != nullptr ? *size : 0;
  const BOOL ok = ::CertGetEnhancedKeyUsage(Native(context), flags,
                                            reinterpret_cast<PCERT_ENHKEY_USAGE>(usage), &bytes);
  if (size != nullptr) *size = bytes;
  return ok != FALSE;
}

const CryptBitBlob* CertSubjectPublicKey(CertContextHandle context) {
  if (context == nullptr) return nullptr;
  return reinterpret_cast<const CryptBitBlob*>(
      &Native(context)->pCertInfo->SubjectPublicKeyInfo.PublicKey);
}

bool CryptDecodeObjectEx(uint32_t encoding, uintptr_t struct_type, const uint8_t* encoded,
                         uint32_t encoded_size, uint32_t flags, const void* decode_para,
                         void* struct_info, uint32_t* size) {
  DWORD bytes = size != nullptr ? *size : 0;
  const BOOL ok = ::CryptDecodeObjectEx(
      encoding, reinterpret_cast<LPCSTR>(struct_type), encoded, encoded_size, flags,
      static_cast<PCRYPT_DECODE_PARA>(const_cast<void*>(decode_para)), struct_info, &bytes);
  if (size != nullptr) *size = bytes;
  return ok != FALSE;
}

}  // namespace monctl::platform
