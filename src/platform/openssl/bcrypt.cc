// The cryptographic provider interface on OpenSSL 3 (libcrypto), with the
// behaviour of bcrypt that the output protection query relies on:
//
// - AES in CBC mode whose chaining value stays in the key between
//   BCryptEncrypt calls that pass no initialisation vector;
// - RSA public keys from RSAPUBLICBLOB and RSAES-OAEP encryption, the hash
//   of the padding information used for both OAEP and MGF1;
// - the system random generator.
#include "platform/bcrypt.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>

#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "platform/openssl/bcrypt.h"
#include "platform/openssl/library.h"
#include "platform/text.h"

namespace monctl::platform {

enum class AlgorithmKind : uint32_t { kAes = 0x41455321, kRsa = 0x52534121 };
enum class ChainingMode { kCbc, kEcb };

struct BcryptAlgorithmTag {
  AlgorithmKind kind;
  ChainingMode chaining = ChainingMode::kCbc;
};

struct BcryptKeyTag {
  AlgorithmKind kind;
  // AES: the cipher context. Its chaining value is the last ciphertext block.
  EVP_CIPHER_CTX* cipher = nullptr;
  // RSA: the public key.
  EVP_PKEY* pkey = nullptr;

  ~BcryptKeyTag() {
    EVP_CIPHER_CTX_free(cipher);
    EVP_PKEY_free(pkey);
  }
};

namespace {

constexpr size_t kAesBlock = 16;

// Fetching a cipher by name is the costly part of setting up a context, so
// each one is fetched once per process.
const EVP_CIPHER* AesCipher(ChainingMode mode, size_t key_size) {
  static const struct Ciphers {
    EVP_CIPHER* cbc[3];
    EVP_CIPHER* ecb[3];
  } ciphers = {
      {EVP_CIPHER_fetch(nullptr, "AES-128-CBC", nullptr),
       EVP_CIPHER_fetch(nullptr, "AES-192-CBC", nullptr),
       EVP_CIPHER_fetch(nullptr, "AES-256-CBC", nullptr)},
      {EVP_CIPHER_fetch(nullptr, "AES-128-ECB", nullptr),
       EVP_CIPHER_fetch(nullptr, "AES-192-ECB", nullptr),
       EVP_CIPHER_fetch(nullptr, "AES-256-ECB", nullptr)},
  };
  const size_t index = key_size == 16 ? 0 : key_size == 24 ? 1 : 2;
  return mode == ChainingMode::kCbc ? ciphers.cbc[index] : ciphers.ecb[index];
}

const char* DigestName(const char16_t* algorithm_id) {
  if (algorithm_id == nullptr) return nullptr;
  if (EqualNoCase(algorithm_id, kBcryptSha1Algorithm)) return "SHA1";
  if (EqualNoCase(algorithm_id, kBcryptSha256Algorithm)) return "SHA256";
  if (EqualNoCase(algorithm_id, kBcryptSha384Algorithm)) return "SHA384";
  if (EqualNoCase(algorithm_id, kBcryptSha512Algorithm)) return "SHA512";
  return nullptr;
}

NTSTATUS ImportRsaPublicKey(const uint8_t* input, uint32_t input_size, EVP_PKEY** pkey) {
  BcryptRsaKeyBlob header;
  if (input_size < sizeof(header)) return kStatusInvalidParameter;
  std::memcpy(&header, input, sizeof(header));
  if (header.Magic != kBcryptRsaPublicMagic || header.cbPublicExp == 0 ||
      header.cbModulus == 0) {
    return kStatusInvalidParameter;
  }
  const uint64_t needed =
      uint64_t{sizeof(header)} + uint64_t{header.cbPublicExp} + uint64_t{header.cbModulus};
  if (needed > input_size) return kStatusInvalidParameter;
  const uint8_t* exponent = input + sizeof(header);
  const uint8_t* modulus = exponent + header.cbPublicExp;

  std::unique_ptr<BIGNUM, decltype(&BN_free)> n(
      BN_bin2bn(modulus, static_cast<int>(header.cbModulus), nullptr), BN_free);
  std::unique_ptr<BIGNUM, decltype(&BN_free)> e(
      BN_bin2bn(exponent, static_cast<int>(header.cbPublicExp), nullptr), BN_free);
  if (!n || !e) return kStatusNoMemory;
  if (BN_is_zero(n.get()) || BN_is_zero(e.get())) return kStatusInvalidParameter;

  std::unique_ptr<OSSL_PARAM_BLD, decltype(&OSSL_PARAM_BLD_free)> build(OSSL_PARAM_BLD_new(),
                                                                        OSSL_PARAM_BLD_free);
  if (!build || OSSL_PARAM_BLD_push_BN(build.get(), OSSL_PKEY_PARAM_RSA_N, n.get()) != 1 ||
      OSSL_PARAM_BLD_push_BN(build.get(), OSSL_PKEY_PARAM_RSA_E, e.get()) != 1) {
    return kStatusNoMemory;
  }
  std::unique_ptr<OSSL_PARAM, decltype(&OSSL_PARAM_free)> params(
      OSSL_PARAM_BLD_to_param(build.get()), OSSL_PARAM_free);
  std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> context(
      EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr), EVP_PKEY_CTX_free);
  if (!params || !context) return kStatusNoMemory;
  if (EVP_PKEY_fromdata_init(context.get()) != 1 ||
      EVP_PKEY_fromdata(context.get(), pkey, EVP_PKEY_PUBLIC_KEY, params.get()) != 1) {
    return kStatusInvalidParameter;
  }
  return kStatusSuccess;
}

NTSTATUS EncryptAes(BcryptKeyTag* key, const uint8_t* input, uint32_t input_size, uint8_t* iv,
                    uint32_t iv_size, uint8_t* output, uint32_t output_size, uint32_t* result,
                    uint32_t flags) {
  // Block padding is not offered: the input is whole blocks.
  if (flags != 0) return kStatusNotSupported;
  if (input_size % kAesBlock != 0) return kStatusInvalidBufferSize;
  if (output == nullptr) {
    *result = input_size;
    return kStatusSuccess;
  }
  if (output_size < input_size) return kStatusBufferTooSmall;
  if (input_size == 0) {
    *result = 0;
    return kStatusSuccess;
  }
  const bool chained = EVP_CIPHER_CTX_get_mode(key->cipher) == EVP_CIPH_CBC_MODE;
  if (iv != nullptr && chained) {
    // An explicit initialisation vector starts a new chain and receives its
    // last block, as the Windows provider does.
    if (iv_size != kAesBlock) return kStatusInvalidParameter;
    if (EVP_EncryptInit_ex2(key->cipher, nullptr, nullptr, iv, nullptr) != 1) {
      return kStatusInternalError;
    }
  }
  int written = 0;
  if (EVP_EncryptUpdate(key->cipher, output, &written, input, static_cast<int>(input_size)) != 1 ||
      static_cast<uint32_t>(written) != input_size) {
    return kStatusInternalError;
  }
  if (iv != nullptr && chained) std::memcpy(iv, output + input_size - kAesBlock, kAesBlock);
  *result = input_size;
  return kStatusSuccess;
}

NTSTATUS EncryptRsa(BcryptKeyTag* key, const uint8_t* input, uint32_t input_size,
                    const void* padding_info, uint8_t* output, uint32_t output_size,
                    uint32_t* result, uint32_t flags) {
  if (flags != kBcryptPadOaep) return kStatusNotSupported;
  const auto* oaep = static_cast<const BcryptOaepPaddingInfo*>(padding_info);
  if (oaep == nullptr) return kStatusInvalidParameter;
  const char* digest = DigestName(oaep->pszAlgId);
  if (digest == nullptr) return kStatusNotSupported;
  const uint32_t modulus_size = static_cast<uint32_t>(EVP_PKEY_get_size(key->pkey));
  if (output == nullptr) {
    *result = modulus_size;
    return kStatusSuccess;
  }
  if (output_size < modulus_size) return kStatusBufferTooSmall;

  std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> context(
      EVP_PKEY_CTX_new_from_pkey(nullptr, key->pkey, nullptr), EVP_PKEY_CTX_free);
  if (!context) return kStatusNoMemory;
  if (EVP_PKEY_encrypt_init(context.get()) != 1 ||
      EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_OAEP_PADDING) != 1 ||
      EVP_PKEY_CTX_set_rsa_oaep_md_name(context.get(), digest, nullptr) != 1 ||
      EVP_PKEY_CTX_set_rsa_mgf1_md_name(context.get(), digest, nullptr) != 1) {
    return kStatusInternalError;
  }
  if (oaep->cbLabel != 0) {
    if (oaep->pbLabel == nullptr) return kStatusInvalidParameter;
    void* label = OPENSSL_memdup(oaep->pbLabel, oaep->cbLabel);
    if (label == nullptr) return kStatusNoMemory;
    if (EVP_PKEY_CTX_set0_rsa_oaep_label(context.get(), label, static_cast<int>(oaep->cbLabel)) !=
        1) {
      OPENSSL_free(label);
      return kStatusInternalError;
    }
  }
  size_t written = output_size;
  if (EVP_PKEY_encrypt(context.get(), output, &written, input, input_size) != 1) {
    // The message does not fit the key with this padding.
    return kStatusInvalidParameter;
  }
  *result = static_cast<uint32_t>(written);
  return kStatusSuccess;
}
}  // namespace

namespace openssl {

NTSTATUS BCryptOpenAlgorithmProvider(BcryptAlgHandle* algorithm, const char16_t* algorithm_id,
                                     const char16_t* implementation, uint32_t flags) {
  if (algorithm == nullptr || algorithm_id == nullptr) return kStatusInvalidParameter;
  *algorithm = nullptr;
  if (implementation != nullptr && !EqualNoCase(implementation, kMsPrimitiveProvider)) {
    return kStatusNotFound;
  }
  if (flags != 0) return kStatusNotSupported;
  AlgorithmKind kind;
  if (EqualNoCase(algorithm_id, kBcryptAesAlgorithm)) {
    kind = AlgorithmKind::kAes;
  } else if (EqualNoCase(algorithm_id, kBcryptRsaAlgorithm)) {
    kind = AlgorithmKind::kRsa;
  } else {
    return kStatusNotFound;
  }
  auto* handle = new (std::nothrow) BcryptAlgorithmTag{kind};
  if (handle == nullptr) return kStatusNoMemory;
  *algorithm = handle;
  return kStatusSuccess;
}

NTSTATUS BCryptCloseAlgorithmProvider(BcryptAlgHandle algorithm, uint32_t /*flags*/) {
  if (algorithm == nullptr) return kStatusInvalidHandle;
  delete algorithm;
  return kStatusSuccess;
}

NTSTATUS BCryptGetProperty(BcryptAlgHandle algorithm, const char16_t* property, uint8_t* output,
                           uint32_t output_size, uint32_t* result, uint32_t /*flags*/) {
  if (algorithm == nullptr) return kStatusInvalidHandle;
  if (property == nullptr || result == nullptr) return kStatusInvalidParameter;
  if (!EqualNoCase(property, kBcryptObjectLength)) return kStatusNotSupported;
  const uint32_t value = sizeof(BcryptKeyTag);
  *result = sizeof(value);
  if (output == nullptr) return kStatusSuccess;
  if (output_size < sizeof(value)) return kStatusBufferTooSmall;
  std::memcpy(output, &value, sizeof(value));
  return kStatusSuccess;
}

NTSTATUS BCryptSetProperty(BcryptAlgHandle algorithm, const char16_t* property,
                           const uint8_t* input, uint32_t input_size, uint32_t /*flags*/) {
  if (algorithm == nullptr) return kStatusInvalidHandle;
  if (property == nullptr || input == nullptr) return kStatusInvalidParameter;
  if (!EqualNoCase(property, kBcryptChainingMode) || algorithm->kind != AlgorithmKind::kAes) {
    return kStatusNotSupported;
  }
  // The value is a UTF-16 name with its terminator.
  if (input_size < sizeof(char16_t) || input_size % sizeof(char16_t) != 0) {
    return kStatusInvalidParameter;
  }
  std::u16string value(input_size / sizeof(char16_t), u'\0');
  std::memcpy(value.data(), input, input_size);
  if (value.back() != u'\0') return kStatusInvalidParameter;
  value.pop_back();
  if (value == kBcryptChainModeCbc) {
    algorithm->chaining = ChainingMode::kCbc;
  } else if (value == u"ChainingModeECB") {
    algorithm->chaining = ChainingMode::kEcb;
  } else {
    return kStatusNotSupported;
  }
  return kStatusSuccess;
}

NTSTATUS BCryptImportKey(BcryptAlgHandle algorithm, BcryptKeyHandle import_key,
                         const char16_t* blob_type, BcryptKeyHandle* key, uint8_t* key_object,
                         uint32_t key_object_size, const uint8_t* input, uint32_t input_size,
                         uint32_t flags) {
  InitializeOpenSsl();
  if (algorithm == nullptr) return kStatusInvalidHandle;
  if (key == nullptr || input == nullptr || blob_type == nullptr) return kStatusInvalidParameter;
  if (algorithm->kind != AlgorithmKind::kAes) return kStatusNotSupported;
  if (import_key != nullptr || flags != 0 || !EqualNoCase(blob_type, kBcryptKeyDataBlob)) {
    return kStatusNotSupported;
  }
  // The key lives on the heap; the caller's key object only has to be as
  // large as the provider said.
  if (key_object != nullptr && key_object_size < sizeof(BcryptKeyTag)) {
    return kStatusBufferTooSmall;
  }
  BcryptKeyDataBlobHeader header;
  if (input_size < sizeof(header)) return kStatusInvalidParameter;
  std::memcpy(&header, input, sizeof(header));
  if (header.dwMagic != kBcryptKeyDataBlobMagic || header.dwVersion != kBcryptKeyDataBlobVersion1 ||
      input_size - sizeof(header) < header.cbKeyData) {
    return kStatusInvalidParameter;
  }
  if (header.cbKeyData != 16 && header.cbKeyData != 24 && header.cbKeyData != 32) {
    return kStatusInvalidParameter;
  }
  const EVP_CIPHER* cipher = AesCipher(algorithm->chaining, header.cbKeyData);
  if (cipher == nullptr) return kStatusNotSupported;

  std::unique_ptr<BcryptKeyTag> created(new (std::nothrow) BcryptKeyTag{AlgorithmKind::kAes});
  if (!created) return kStatusNoMemory;
  created->cipher = EVP_CIPHER_CTX_new();
  if (created->cipher == nullptr) return kStatusNoMemory;
  static constexpr uint8_t kZeroChain[kAesBlock] = {};
  if (EVP_EncryptInit_ex2(created->cipher, cipher, input + sizeof(header), kZeroChain, nullptr) !=
          1 ||
      EVP_CIPHER_CTX_set_padding(created->cipher, 0) != 1) {
    return kStatusInternalError;
  }
  *key = created.release();
  return kStatusSuccess;
}

NTSTATUS BCryptImportKeyPair(BcryptAlgHandle algorithm, BcryptKeyHandle import_key,
                             const char16_t* blob_type, BcryptKeyHandle* key,
                             const uint8_t* input, uint32_t input_size, uint32_t flags) {
  InitializeOpenSsl();
  if (algorithm == nullptr) return kStatusInvalidHandle;
  if (key == nullptr || input == nullptr || blob_type == nullptr) return kStatusInvalidParameter;
  if (algorithm->kind != AlgorithmKind::kRsa) return kStatusNotSupported;
  if (import_key != nullptr || flags != 0 || !EqualNoCase(blob_type, kBcryptRsaPublicBlob)) {
    return kStatusNotSupported;
  }
  std::unique_ptr<BcryptKeyTag> created(new (std::nothrow) BcryptKeyTag{AlgorithmKind::kRsa});
  if (!created) return kStatusNoMemory;
  const NTSTATUS status = ImportRsaPublicKey(input, input_size, &created->pkey);
  if (status != kStatusSuccess) return status;
  *key = created.release();
  return kStatusSuccess;
}

NTSTATUS BCryptDestroyKey(BcryptKeyHandle key) {
  if (key == nullptr) return kStatusInvalidHandle;
  delete key;
  return kStatusSuccess;
}

NTSTATUS BCryptEncrypt(BcryptKeyHandle key, const uint8_t* input, uint32_t input_size,
                       const void* padding_info, uint8_t* iv, uint32_t iv_size, uint8_t* output,
                       uint32_t output_size, uint32_t* result, uint32_t flags) {
  if (key == nullptr) return kStatusInvalidHandle;
  if (result == nullptr || (input == nullptr && input_size != 0)) return kStatusInvalidParameter;
  if (key->kind == AlgorithmKind::kAes) {
    return EncryptAes(key, input, input_size, iv, iv_size, output, output_size, result, flags);
  }
  return EncryptRsa(key, input, input_size, padding_info, output, output_size, result, flags);
}

NTSTATUS BCryptGenRandom(BcryptAlgHandle algorithm, uint8_t* buffer, uint32_t size,
                         uint32_t flags) {
  InitializeOpenSsl();
  if (algorithm != nullptr || flags != kBcryptUseSystemPreferredRng) return kStatusInvalidHandle;
  if (buffer == nullptr && size != 0) return kStatusInvalidParameter;
  if (size == 0) return kStatusSuccess;
  return RAND_bytes(buffer, static_cast<int>(size)) == 1 ? kStatusSuccess : kStatusInternalError;
}

}  // namespace openssl
}  // namespace monctl::platform
