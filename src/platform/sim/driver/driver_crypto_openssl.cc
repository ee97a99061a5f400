// The simulated driver's cryptography on OpenSSL.
#include "platform/sim/driver/driver_crypto.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/params.h>
#include <openssl/rsa.h>

#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/openssl/library.h"

namespace monctl::sim {

using platform::HRESULT;

namespace {

// The key pair from its numbers, as bcrypt imports it from a private blob.
EVP_PKEY* KeyFromNumbers(const DriverKey& key) {
  using Number = std::unique_ptr<BIGNUM, decltype(&BN_free)>;
  const std::pair<const char*, const Bytes*> parts[] = {
      {OSSL_PKEY_PARAM_RSA_N, &key.modulus},
      {OSSL_PKEY_PARAM_RSA_E, &key.exponent},
      {OSSL_PKEY_PARAM_RSA_D, &key.private_exponent},
      {OSSL_PKEY_PARAM_RSA_FACTOR1, &key.prime1},
      {OSSL_PKEY_PARAM_RSA_FACTOR2, &key.prime2},
      {OSSL_PKEY_PARAM_RSA_EXPONENT1, &key.exponent1},
      {OSSL_PKEY_PARAM_RSA_EXPONENT2, &key.exponent2},
      {OSSL_PKEY_PARAM_RSA_COEFFICIENT1, &key.coefficient},
  };
  std::unique_ptr<OSSL_PARAM_BLD, decltype(&OSSL_PARAM_BLD_free)> build(OSSL_PARAM_BLD_new(),
                                                                        OSSL_PARAM_BLD_free);
  if (!build) return nullptr;
  // The builder refers to the numbers until the parameters are made.
  std::vector<Number> numbers;
  for (const auto& [name, bytes] : parts) {
    numbers.emplace_back(BN_bin2bn(bytes->data, static_cast<int>(bytes->size), nullptr), BN_free);
    if (!numbers.back() || OSSL_PARAM_BLD_push_BN(build.get(), name, numbers.back().get()) != 1) {
      return nullptr;
    }
  }
  std::unique_ptr<OSSL_PARAM, decltype(&OSSL_PARAM_free)> params(
      OSSL_PARAM_BLD_to_param(build.get()), OSSL_PARAM_free);
  std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> context(
      EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr), EVP_PKEY_CTX_free);
  EVP_PKEY* pkey = nullptr;
  if (!params || !context || EVP_PKEY_fromdata_init(context.get()) != 1 ||
      EVP_PKEY_fromdata(context.get(), &pkey, EVP_PKEY_KEYPAIR, params.get()) != 1) {
    return nullptr;
  }
  return pkey;
}

// The driver reads each of its keys once, as a real driver holds its key
// for as long as it runs: making the key and setting up its RSA blinding
// cost more than one decryption.
class KeyCache {
 public:
  KeyCache() {
    // OpenSSL's own clean-up at exit then runs after this cache's.
    platform::InitializeOpenSsl();
  }
  ~KeyCache() {
    for (Entry& entry : entries_) EVP_PKEY_free(entry.pkey);
  }
  KeyCache(const KeyCache&) = delete;
  KeyCache& operator=(const KeyCache&) = delete;

  // The parsed key, owned by the cache; null if it cannot be read.
  EVP_PKEY* Get(const DriverKey& key) {
    std::lock_guard lock(mutex_);
    for (Entry& entry : entries_) {
      if (entry.key == &key) return entry.pkey;
    }
    EVP_PKEY* pkey = KeyFromNumbers(key);
    if (pkey == nullptr) return nullptr;
    entries_.push_back({&key, pkey});
    return pkey;
  }

 private:
  struct Entry {
    const DriverKey* key;
    EVP_PKEY* pkey;
  };
  std::mutex mutex_;
  // One entry for each of the driver's few keys.
  std::vector<Entry> entries_;
};

}  // namespace

HRESULT DecryptWithDriverKey(const DriverKey& key, const uint8_t* ciphertext, size_t size,
                             std::vector<uint8_t>* plaintext) {
  plaintext->clear();
  static KeyCache cache;
  EVP_PKEY* pkey = cache.Get(key);
  if (pkey == nullptr) return platform::kFail;
  std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> context(
      EVP_PKEY_CTX_new_from_pkey(nullptr, pkey, nullptr), EVP_PKEY_CTX_free);
  if (!context || EVP_PKEY_decrypt_init(context.get()) != 1 ||
      EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_OAEP_PADDING) != 1 ||
      EVP_PKEY_CTX_set_rsa_oaep_md_name(context.get(), "SHA512", nullptr) != 1 ||
      EVP_PKEY_CTX_set_rsa_mgf1_md_name(context.get(), "SHA512", nullptr) != 1) {
    return platform::kFail;
  }
  size_t length = 0;
  if (EVP_PKEY_decrypt(context.get(), nullptr, &length, ciphertext, size) != 1) {
    return platform::kFail;
  }
  plaintext->resize(length);
  if (EVP_PKEY_decrypt(context.get(), plaintext->data(), &length, ciphertext, size) != 1) {
    plaintext->clear();
    return platform::kFail;
  }
  plaintext->resize(length);
  return platform::kOk;
}

HRESULT ComputeCmac(const uint8_t* key, const uint8_t* message, size_t length, uint8_t* tag) {
  // Fetched once: fetching by name costs more than a tag.
  static EVP_MAC* const mac = [] {
    platform::InitializeOpenSsl();
    return EVP_MAC_fetch(nullptr, "CMAC", nullptr);
  }();
  std::unique_ptr<EVP_MAC_CTX, decltype(&EVP_MAC_CTX_free)> context(
      mac != nullptr ? EVP_MAC_CTX_new(mac) : nullptr, EVP_MAC_CTX_free);
  char cipher[] = "AES-128-CBC";
  const OSSL_PARAM params[] = {
      OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_CIPHER, cipher, 0),
      OSSL_PARAM_construct_end(),
  };
  size_t written = 0;
  if (!context || EVP_MAC_init(context.get(), key, 16, params) != 1 ||
      EVP_MAC_update(context.get(), message, length) != 1 ||
      EVP_MAC_final(context.get(), tag, &written, 16) != 1 || written != 16) {
    return platform::kFail;
  }
  return platform::kOk;
}

}  // namespace monctl::sim
