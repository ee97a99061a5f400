// The certificate interface on crypt32. The portable handles are crypt32's
// own and the portable structures have the Win32 layout, so every function
// passes its arguments through.
#include "platform/crypt32.h"

#include <windows.h>
#include <wincrypt.h>

#include <cstddef>

#include "platform/win32/system_library.h"

namespace monctl::platform {
namespace {

static_assert(sizeof(CryptBitBlob) == sizeof(CRYPT_BIT_BLOB));
static_assert(offsetof(CryptBitBlob, pbData) == offsetof(CRYPT_BIT_BLOB, pbData));
static_assert(offsetof(CryptBitBlob, cUnusedBits) == offsetof(CRYPT_BIT_BLOB, cUnusedBits));
static_assert(sizeof(CertEnhKeyUsage) == sizeof(CERT_ENHKEY_USAGE));
static_assert(offsetof(CertEnhKeyUsage, rgpszUsageIdentifier) ==
              offsetof(CERT_ENHKEY_USAGE, rgpszUsageIdentifier));
static_assert(sizeof(PublicKeyStruc) == sizeof(PUBLICKEYSTRUC));
static_assert(sizeof(RsaPubKey) == sizeof(RSAPUBKEY));
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

// crypt32's functions.
const SystemFunction<decltype(::CryptGetMessageCertificates)> kCryptGetMessageCertificates{
    SystemLibrary::kCrypt32, "CryptGetMessageCertificates"};
const SystemFunction<decltype(::CertEnumCertificatesInStore)> kCertEnumCertificatesInStore{
    SystemLibrary::kCrypt32, "CertEnumCertificatesInStore"};
const SystemFunction<decltype(::CertFreeCertificateContext)> kCertFreeCertificateContext{
    SystemLibrary::kCrypt32, "CertFreeCertificateContext"};
const SystemFunction<decltype(::CertCloseStore)> kCertCloseStore{
    SystemLibrary::kCrypt32, "CertCloseStore"};
const SystemFunction<decltype(::CertGetEnhancedKeyUsage)> kCertGetEnhancedKeyUsage{
    SystemLibrary::kCrypt32, "CertGetEnhancedKeyUsage"};
const SystemFunction<decltype(::CryptDecodeObjectEx)> kCryptDecodeObjectEx{
    SystemLibrary::kCrypt32, "CryptDecodeObjectEx"};

HCERTSTORE Native(CertStoreHandle store) { return reinterpret_cast<HCERTSTORE>(store); }
PCCERT_CONTEXT Native(CertContextHandle context) {
  return reinterpret_cast<PCCERT_CONTEXT>(context);
}

}  // namespace

CertStoreHandle CryptGetMessageCertificates(uint32_t encoding, uintptr_t provider, uint32_t flags,
                                            const uint8_t* signed_blob, uint32_t blob_size) {
  return reinterpret_cast<CertStoreHandle>(kCryptGetMessageCertificates(
      encoding, static_cast<HCRYPTPROV_LEGACY>(provider), flags, signed_blob, blob_size));
}

CertContextHandle CertEnumCertificatesInStore(CertStoreHandle store, CertContextHandle previous) {
  return reinterpret_cast<CertContextHandle>(
      kCertEnumCertificatesInStore(Native(store), Native(previous)));
}

bool CertFreeCertificateContext(CertContextHandle context) {
  return kCertFreeCertificateContext(Native(context)) != FALSE;
}

bool CertCloseStore(CertStoreHandle store, uint32_t flags) {
  return kCertCloseStore(Native(store), flags) != FALSE;
}

bool CertGetEnhancedKeyUsage(CertContextHandle context, uint32_t flags, CertEnhKeyUsage* usage,
                             uint32_t* size) {
  DWORD bytes = size != nullptr ? *size : 0;
  const BOOL ok = kCertGetEnhancedKeyUsage(Native(context), flags,
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
  const BOOL ok = kCryptDecodeObjectEx(
      encoding, reinterpret_cast<LPCSTR>(struct_type), encoded, encoded_size, flags,
      static_cast<PCRYPT_DECODE_PARA>(const_cast<void*>(decode_para)), struct_info, &bytes);
  if (size != nullptr) *size = bytes;
  return ok != FALSE;
}

}  // namespace monctl::platform
