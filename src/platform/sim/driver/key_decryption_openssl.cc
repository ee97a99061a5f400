#include <openssl/evp.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <memory>

#include "platform/sim/driver/key_decryption.h"

namespace monctl::sim {

using platform::HRESULT;

HRESULT DecryptWithDriverKey(const DriverKey& key, const uint8_t* ciphertext, size_t size,
                             std::vector<uint8_t>* plaintext) {
  const unsigned char* cursor = key.pkcs8.data;
  std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> pkey(
      d2i_AutoPrivateKey(nullptr, &cursor, static_cast<long>(key.pkcs8.size)), EVP_PKEY_free);
  if (!pkey) return platform::kFail;
  std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> context(
      EVP_PKEY_CTX_new_from_pkey(nullptr, pkey.get(), nullptr), EVP_PKEY_CTX_free);
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

}  // namespace monctl::sim
