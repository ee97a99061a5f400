// The certificate functions of the native build: OpenSSL's
// (openssl/crypt32.cc), behind the fault layer. A call that a test fails
// returns failure with the error as the last error and does nothing, except
// the functions that release: they release and then report the failure.
#include "platform/crypt32.h"

#include "platform/openssl/crypt32.h"
#include "platform/sim/faults.h"
#include "platform/system.h"

namespace monctl::platform {

using sim::Call;
using sim::InjectLastError;

CertStoreHandle CryptGetMessageCertificates(uint32_t encoding, uintptr_t provider, uint32_t flags,
                                            const uint8_t* signed_blob, uint32_t blob_size) {
  if (InjectLastError(Call::kCryptGetMessageCertificates)) return nullptr;
  return openssl::CryptGetMessageCertificates(encoding, provider, flags, signed_blob, blob_size);
}

CertContextHandle CertEnumCertificatesInStore(CertStoreHandle store, CertContextHandle previous) {
  // The previous certificate is freed whether or not a next one comes.
  if (const uint32_t error = sim::InjectedError(Call::kCertEnumCertificatesInStore)) {
    if (previous != nullptr) openssl::CertFreeCertificateContext(previous);
    SetLastError(error);
    return nullptr;
  }
  return openssl::CertEnumCertificatesInStore(store, previous);
}

bool CertFreeCertificateContext(CertContextHandle context) {
  if (!openssl::CertFreeCertificateContext(context)) return false;
  // Freeing nothing is no call that can fail.
  return context == nullptr || !InjectLastError(Call::kCertFreeCertificateContext);
}

bool CertCloseStore(CertStoreHandle store, uint32_t flags) {
  if (!openssl::CertCloseStore(store, flags)) return false;
  return !InjectLastError(Call::kCertCloseStore);
}

bool CertGetEnhancedKeyUsage(CertContextHandle context, uint32_t flags, CertEnhKeyUsage* usage,
                             uint32_t* size) {
  if (InjectLastError(Call::kCertGetEnhancedKeyUsage)) return false;
  return openssl::CertGetEnhancedKeyUsage(context, flags, usage, size);
}

bool CryptDecodeObjectEx(uint32_t encoding, uintptr_t struct_type, const uint8_t* encoded,
                         uint32_t encoded_size, uint32_t flags, const void* decode_para,
                         void* struct_info, uint32_t* size) {
  if (InjectLastError(Call::kCryptDecodeObjectEx)) return false;
  return openssl::CryptDecodeObjectEx(encoding, struct_type, encoded, encoded_size, flags, decode_para,
                                      struct_info, size);
}

}  // namespace monctl::platform
