// The certificate functions (crypt32) that the output protection query
// calls. Each declaration has the meaning of the Win32 function of the same
// name; the handles are opaque. As on Windows, a call returns false or null
// on failure and leaves the reason in the thread's last-error value
// (GetLastError in platform/system.h).
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace monctl::platform {

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
