// The certificate interface on OpenSSL 3 (libcrypto), with the behaviour
// of crypt32 that the output protection query relies on: the certificates
// of a PKCS #7 message, the last one first as crypt32 lists them, their
// enhanced key usage (a certificate without the extension is valid for all
// uses: no identifier, last error CRYPT_E_NOT_FOUND) and their public key as
// an RSA_CSP_PUBLICKEYBLOB.
#include "platform/crypt32.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "platform/openssl/crypt32.h"
#include "platform/openssl/library.h"
#include "platform/system.h"

namespace monctl::platform {

struct CertStoreTag {
  std::vector<X509*> certificates;  // one reference each, in message order
  uint32_t references = 1;          // the store's own and one per context
};

struct CertContextTag {
  CertStoreTag* store;
  size_t index;
  X509* certificate;
  CryptBitBlob public_key;
};

namespace {

void ReleaseStore(CertStoreTag* store) {
  if (--store->references != 0) return;
  for (X509* certificate : store->certificates) X509_free(certificate);
  delete store;
}

void ReleaseContext(const CertContextTag* context) {
  CertStoreTag* store = context->store;
  delete context;
  ReleaseStore(store);
}

// Reading a certificate message costs far more than comparing it, because
// OpenSSL sets up its key decoders for each certificate's public key, and a
// driver gives every one of its outputs the same message. So the last
// message read is kept with its certificates, and a call with the same bytes
// shares them (X509 objects are reference counted and not changed here).
class LastMessage {
 public:
  LastMessage() {
    // OpenSSL's own clean-up at exit then runs after this object's.
    InitializeOpenSsl();
  }
  LastMessage(const LastMessage&) = delete;
  LastMessage& operator=(const LastMessage&) = delete;
  ~LastMessage() { Forget(); }

  // Adds one reference to each certificate of the kept message to `store`,
  // if a message is kept and it is `blob`.
  bool Share(const uint8_t* blob, uint32_t size, CertStoreTag* store) {
    std::lock_guard<std::mutex> lock(mutex_);
    // No message is empty: with nothing kept, an empty blob is not a match.
    if (bytes_.empty() || bytes_.size() != size ||
        std::memcmp(bytes_.data(), blob, size) != 0) {
      return false;
    }
    try {
      store->certificates.reserve(certificates_.size());
    } catch (const std::bad_alloc&) {
      return false;
    }
    for (X509* certificate : certificates_) {
      X509_up_ref(certificate);
      store->certificates.push_back(certificate);
    }
    return true;
  }

  // Keeps `blob` and the certificates of `store`, read from it.
  void Keep(const uint8_t* blob, uint32_t size, const CertStoreTag& store) {
    std::lock_guard<std::mutex> lock(mutex_);
    Forget();
    try {
      bytes_.assign(blob, blob + size);
      certificates_ = store.certificates;
    } catch (const std::bad_alloc&) {
      bytes_.clear();
      certificates_.clear();
      return;
    }
    for (X509* certificate : certificates_) X509_up_ref(certificate);
  }

 private:
  void Forget() {
    for (X509* certificate : certificates_) X509_free(certificate);
    certificates_.clear();
    bytes_.clear();
  }

  std::mutex mutex_;
  std::vector<uint8_t> bytes_;
  std::vector<X509*> certificates_;  // one reference each, in store order
};

LastMessage& KeptMessage() {
  static LastMessage kept;
  return kept;
}

CertContextHandle MakeContext(CertStoreTag* store, size_t index) {
  auto* context = new (std::nothrow) CertContextTag{store, index, store->certificates[index], {}};
  if (context == nullptr) {
    SetLastError(kErrorOutOfMemory);
    return nullptr;
  }
  const ASN1_BIT_STRING* bits = X509_get0_pubkey_bitstr(context->certificate);
  if (bits != nullptr) {
    context->public_key.cbData = static_cast<uint32_t>(ASN1_STRING_length(bits));
    context->public_key.pbData = const_cast<uint8_t*>(ASN1_STRING_get0_data(bits));
    context->public_key.cUnusedBits =
        (bits->flags & ASN1_STRING_FLAG_BITS_LEFT) != 0 ? (bits->flags & 0x07) : 0;
  }
  ++store->references;
  return context;
}

// The usage identifiers of the certificate's extension. False with the
// last-error value set when the extension cannot be decoded; an absent
// extension gives true and `present` false.
bool ReadUsageExtension(X509* certificate, std::vector<std::string>* identifiers, bool* present) {
  int critical = -1;
  auto* usage = static_cast<EXTENDED_KEY_USAGE*>(
      X509_get_ext_d2i(certificate, NID_ext_key_usage, &critical, nullptr));
  if (usage == nullptr) {
    if (critical == -1) {
      *present = false;
      return true;
    }
    SetLastError(kCryptEAsn1Corrupt);
    return false;
  }
  *present = true;
  bool ok = true;
  for (int i = 0; i < sk_ASN1_OBJECT_num(usage) && ok; ++i) {
    char text[128];
    const int length = OBJ_obj2txt(text, sizeof(text), sk_ASN1_OBJECT_value(usage, i), 1);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof(text)) {
      SetLastError(kCryptEAsn1Corrupt);
      ok = false;
    } else {
      identifiers->emplace_back(text, static_cast<size_t>(length));
    }
  }
  EXTENDED_KEY_USAGE_free(usage);
  return ok;
}

bool DecodeRsaCspPublicKeyBlob(const uint8_t* encoded, uint32_t encoded_size, void* struct_info,
                               uint32_t* size) {
  const unsigned char* cursor = encoded;
  std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> pkey(
      d2i_PublicKey(EVP_PKEY_RSA, nullptr, &cursor, static_cast<long>(encoded_size)),
      EVP_PKEY_free);
  if (!pkey) {
    SetLastError(kCryptEAsn1BadTag);
    return false;
  }
  BIGNUM* n = nullptr;
  BIGNUM* e = nullptr;
  const bool have = EVP_PKEY_get_bn_param(pkey.get(), OSSL_PKEY_PARAM_RSA_N, &n) == 1 &&
                    EVP_PKEY_get_bn_param(pkey.get(), OSSL_PKEY_PARAM_RSA_E, &e) == 1;
  std::unique_ptr<BIGNUM, decltype(&BN_free)> modulus(n, BN_free);
  std::unique_ptr<BIGNUM, decltype(&BN_free)> exponent(e, BN_free);
  if (!have) {
    SetLastError(kCryptEAsn1Corrupt);
    return false;
  }
  // The blob holds the exponent in 32 bits.
  if (BN_num_bits(exponent.get()) > 32) {
    SetLastError(kCryptEAsn1Large);
    return false;
  }
  const uint32_t modulus_size = static_cast<uint32_t>(BN_num_bytes(modulus.get()));
  const uint32_t needed =
      static_cast<uint32_t>(sizeof(PublicKeyStruc) + sizeof(RsaPubKey)) + modulus_size;
  if (struct_info == nullptr) {
    *size = needed;
    return true;
  }
  if (*size < needed) {
    *size = needed;
    SetLastError(kErrorMoreData);
    return false;
  }
  *size = needed;
  auto* out = static_cast<uint8_t*>(struct_info);
  const PublicKeyStruc head = {kPublicKeyBlob, kCurBlobVersion, 0, kCalgRsaKeyx};
  const RsaPubKey rsa = {kRsa1Magic, modulus_size * 8,
                         static_cast<uint32_t>(BN_get_word(exponent.get()))};
  std::memcpy(out, &head, sizeof(head));
  std::memcpy(out + sizeof(head), &rsa, sizeof(rsa));
  BN_bn2lebinpad(modulus.get(), out + sizeof(head) + sizeof(rsa), static_cast<int>(modulus_size));
  return true;
}

}  // namespace

namespace openssl {

CertStoreHandle CryptGetMessageCertificates(uint32_t encoding, uintptr_t provider,
                                            uint32_t /*flags*/, const uint8_t* signed_blob,
                                            uint32_t blob_size) {
  InitializeOpenSsl();
  if (signed_blob == nullptr || provider != 0 || (encoding & kPkcs7AsnEncoding) == 0) {
    SetLastError(static_cast<uint32_t>(kInvalidArg));
    return nullptr;
  }
  std::unique_ptr<CertStoreTag> store(new (std::nothrow) CertStoreTag);
  if (!store) {
    SetLastError(kErrorOutOfMemory);
    return nullptr;
  }
  LastMessage& kept = KeptMessage();
  if (kept.Share(signed_blob, blob_size, store.get())) return store.release();

  const unsigned char* cursor = signed_blob;
  std::unique_ptr<PKCS7, decltype(&PKCS7_free)> message(
      d2i_PKCS7(nullptr, &cursor, static_cast<long>(blob_size)), PKCS7_free);
  if (!message) {
    SetLastError(kCryptEAsn1BadTag);
    return nullptr;
  }
  if (!PKCS7_type_is_signed(message.get()) || message->d.sign == nullptr) {
    SetLastError(kCryptEInvalidMsgType);
    return nullptr;
  }
  // Like crypt32's memory stores, the store lists the certificate added
  // last first: the message's certificates in reverse order.
  STACK_OF(X509)* certificates = message->d.sign->cert;
  for (int i = sk_X509_num(certificates) - 1; i >= 0; --i) {
    X509* certificate = sk_X509_value(certificates, i);
    X509_up_ref(certificate);
    store->certificates.push_back(certificate);
  }
  kept.Keep(signed_blob, blob_size, *store);
  return store.release();
}

CertContextHandle CertEnumCertificatesInStore(CertStoreHandle store, CertContextHandle previous) {
  if (store == nullptr || (previous != nullptr && previous->store != store)) {
    SetLastError(static_cast<uint32_t>(kInvalidArg));
    return nullptr;
  }
  const size_t next = previous == nullptr ? 0 : previous->index + 1;
  if (previous != nullptr) ReleaseContext(previous);
  if (next >= store->certificates.size()) {
    SetLastError(kCryptENotFound);
    return nullptr;
  }
  return MakeContext(store, next);
}

bool CertFreeCertificateContext(CertContextHandle context) {
  if (context == nullptr) return true;
  ReleaseContext(context);
  return true;
}

bool CertCloseStore(CertStoreHandle store, uint32_t /*flags*/) {
  // Contexts still open keep the store's certificates alive until freed.
  if (store != nullptr) ReleaseStore(store);
  return true;
}

bool CertGetEnhancedKeyUsage(CertContextHandle context, uint32_t flags, CertEnhKeyUsage* usage,
                             uint32_t* size) {
  if (context == nullptr || size == nullptr) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  // The contexts of a message store carry no properties, so only the
  // extension can give a usage.
  std::vector<std::string> identifiers;
  bool present = false;
  if ((flags & kCertFindPropOnlyEnhkeyUsageFlag) == 0 &&
      !ReadUsageExtension(context->certificate, &identifiers, &present)) {
    return false;
  }
  if (!present && flags != 0) {
    SetLastError(kCryptENotFound);
    return false;
  }
  uint64_t needed = sizeof(CertEnhKeyUsage) + identifiers.size() * sizeof(char*);
  for (const std::string& identifier : identifiers) needed += identifier.size() + 1;
  if (needed > UINT32_MAX) {
    SetLastError(kCryptEAsn1Large);
    return false;
  }
  if (usage == nullptr) {
    *size = static_cast<uint32_t>(needed);
    return true;
  }
  if (*size < needed) {
    *size = static_cast<uint32_t>(needed);
    SetLastError(kErrorMoreData);
    return false;
  }
  *size = static_cast<uint32_t>(needed);
  if (!present) {
    // No usage anywhere: valid for all uses.
    usage->cUsageIdentifier = 0;
    usage->rgpszUsageIdentifier = nullptr;
    SetLastError(kCryptENotFound);
    return true;
  }
  auto* base = reinterpret_cast<uint8_t*>(usage);
  auto** pointers = reinterpret_cast<char**>(base + sizeof(CertEnhKeyUsage));
  char* text = reinterpret_cast<char*>(pointers + identifiers.size());
  usage->cUsageIdentifier = static_cast<uint32_t>(identifiers.size());
  usage->rgpszUsageIdentifier = identifiers.empty() ? nullptr : pointers;
  for (size_t i = 0; i < identifiers.size(); ++i) {
    pointers[i] = text;
    std::memcpy(text, identifiers[i].c_str(), identifiers[i].size() + 1);
    text += identifiers[i].size() + 1;
  }
  return true;
}

bool CryptDecodeObjectEx(uint32_t encoding, uintptr_t struct_type, const uint8_t* encoded,
                         uint32_t encoded_size, uint32_t flags, const void* /*decode_para*/,
                         void* struct_info, uint32_t* size) {
  InitializeOpenSsl();
  if (size == nullptr || (encoded == nullptr && encoded_size != 0)) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  if ((encoding & kX509AsnEncoding) == 0 || struct_type != kRsaCspPublicKeyBlob) {
    SetLastError(kErrorFileNotFound);
    return false;
  }
  if (flags != 0) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  if (encoded_size == 0) {
    SetLastError(kCryptEAsn1Eod);
    return false;
  }
  return DecodeRsaCspPublicKeyBlob(encoded, encoded_size, struct_info, size);
}

}  // namespace openssl

const CryptBitBlob* CertSubjectPublicKey(CertContextHandle context) {
  return context == nullptr ? nullptr : &context->public_key;
}

}  // namespace monctl::platform
