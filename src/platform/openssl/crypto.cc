// The cryptography interface on OpenSSL 3 (libcrypto), with the behaviour of
// bcrypt and crypt32 that the output protection query relies on:
//
// - AES in CBC mode whose chaining value stays in the key between
//   BCryptEncrypt calls that pass no initialisation vector;
// - RSA public keys from RSAPUBLICBLOB and RSAES-OAEP encryption, the hash
//   of the padding information used for both OAEP and MGF1;
// - the certificates of a PKCS #7 message, the last one first as crypt32
//   lists them, their enhanced
//   key usage (a certificate without the extension is valid for all uses:
//   no identifier, last error CRYPT_E_NOT_FOUND) and their public key as an
//   RSA_CSP_PUBLICKEYBLOB;
// - the system random generator.
#include "platform/bcrypt.h"
#include "platform/crypt32.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/param_build.h>
#include <openssl/pkcs7.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "platform/openssl/library.h"
#include "platform/posix/call_gate.h"
#include "platform/system.h"
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

constexpr size_t kAesBlock = 16;

// ---------------------------------------------------------------------------
// Provider helpers
// ---------------------------------------------------------------------------

// The status of a provider call that a test's gate makes fail; 0 to run it.
NTSTATUS GatedStatus(std::string_view function) { return static_cast<NTSTATUS>(GateError(function)); }

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

// ---------------------------------------------------------------------------
// Certificate helpers
// ---------------------------------------------------------------------------

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

// ---------------------------------------------------------------------------
// Provider
// ---------------------------------------------------------------------------

NTSTATUS BCryptOpenAlgorithmProvider(BcryptAlgHandle* algorithm, const char16_t* algorithm_id,
                                     const char16_t* implementation, uint32_t flags) {
  if (const NTSTATUS status = GatedStatus("BCryptOpenAlgorithmProvider")) {
    if (algorithm != nullptr) *algorithm = nullptr;
    return status;
  }
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

// The release functions release even when a test's gate makes them report
// a failure: what is tested is how the caller takes the result.
NTSTATUS BCryptCloseAlgorithmProvider(BcryptAlgHandle algorithm, uint32_t /*flags*/) {
  if (algorithm == nullptr) return kStatusInvalidHandle;
  delete algorithm;
  return GatedStatus("BCryptCloseAlgorithmProvider");
}

NTSTATUS BCryptGetProperty(BcryptAlgHandle algorithm, const char16_t* property, uint8_t* output,
                           uint32_t output_size, uint32_t* result, uint32_t /*flags*/) {
  if (const NTSTATUS status = GatedStatus("BCryptGetProperty")) return status;
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
  if (const NTSTATUS status = GatedStatus("BCryptSetProperty")) return status;
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
  if (const NTSTATUS status = GatedStatus("BCryptImportKey")) return status;
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
  if (const NTSTATUS status = GatedStatus("BCryptImportKeyPair")) return status;
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
  return GatedStatus("BCryptDestroyKey");
}

NTSTATUS BCryptEncrypt(BcryptKeyHandle key, const uint8_t* input, uint32_t input_size,
                       const void* padding_info, uint8_t* iv, uint32_t iv_size, uint8_t* output,
                       uint32_t output_size, uint32_t* result, uint32_t flags) {
  if (const NTSTATUS status = GatedStatus("BCryptEncrypt")) return status;
  if (key == nullptr) return kStatusInvalidHandle;
  if (result == nullptr || (input == nullptr && input_size != 0)) return kStatusInvalidParameter;
  if (key->kind == AlgorithmKind::kAes) {
    return EncryptAes(key, input, input_size, iv, iv_size, output, output_size, result, flags);
  }
  return EncryptRsa(key, input, input_size, padding_info, output, output_size, result, flags);
}

NTSTATUS BCryptGenRandom(BcryptAlgHandle algorithm, uint8_t* buffer, uint32_t size,
                         uint32_t flags) {
  if (const NTSTATUS status = GatedStatus("BCryptGenRandom")) return status;
  InitializeOpenSsl();
  if (algorithm != nullptr || flags != kBcryptUseSystemPreferredRng) return kStatusInvalidHandle;
  if (buffer == nullptr && size != 0) return kStatusInvalidParameter;
  if (size == 0) return kStatusSuccess;
  return RAND_bytes(buffer, static_cast<int>(size)) == 1 ? kStatusSuccess : kStatusInternalError;
}

// ---------------------------------------------------------------------------
// Certificates
// ---------------------------------------------------------------------------

CertStoreHandle CryptGetMessageCertificates(uint32_t encoding, uintptr_t provider,
                                            uint32_t /*flags*/, const uint8_t* signed_blob,
                                            uint32_t blob_size) {
  if (GatedFailure("CryptGetMessageCertificates")) return nullptr;
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
  if (GatedFailure("CertEnumCertificatesInStore")) return nullptr;
  if (next >= store->certificates.size()) {
    SetLastError(kCryptENotFound);
    return nullptr;
  }
  return MakeContext(store, next);
}

bool CertFreeCertificateContext(CertContextHandle context) {
  if (context == nullptr) return true;
  ReleaseContext(context);
  return !GatedFailure("CertFreeCertificateContext");
}

bool CertCloseStore(CertStoreHandle store, uint32_t /*flags*/) {
  // Contexts still open keep the store's certificates alive until freed.
  if (store != nullptr) ReleaseStore(store);
  return !GatedFailure("CertCloseStore");
}

bool CertGetEnhancedKeyUsage(CertContextHandle context, uint32_t flags, CertEnhKeyUsage* usage,
                             uint32_t* size) {
  if (GatedFailure("CertGetEnhancedKeyUsage")) return false;
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

const CryptBitBlob* CertSubjectPublicKey(CertContextHandle context) {
  return context == nullptr ? nullptr : &context->public_key;
}

bool CryptDecodeObjectEx(uint32_t encoding, uintptr_t struct_type, const uint8_t* encoded,
                         uint32_t encoded_size, uint32_t flags, const void* /*decode_para*/,
                         void* struct_info, uint32_t* size) {
  if (GatedFailure("CryptDecodeObjectEx")) return false;
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

}  // namespace monctl::platform
