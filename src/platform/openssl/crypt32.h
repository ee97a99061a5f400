// The certificate functions on OpenSSL that a test can make fail. The
// platform's functions of platform/crypt32.h forward to these from
// sim/crypt32.cc; CertSubjectPublicKey, which cannot fail, is the
// platform's own in openssl/crypt32.cc.
#pragma once

#include "platform/crypt32.h"

namespace monctl::platform::openssl {

decltype(platform::CryptGetMessageCertificates) CryptGetMessageCertificates;
decltype(platform::CertEnumCertificatesInStore) CertEnumCertificatesInStore;
decltype(platform::CertFreeCertificateContext) CertFreeCertificateContext;
decltype(platform::CertCloseStore) CertCloseStore;
decltype(platform::CertGetEnhancedKeyUsage) CertGetEnhancedKeyUsage;
decltype(platform::CryptDecodeObjectEx) CryptDecodeObjectEx;

}  // namespace monctl::platform::openssl
