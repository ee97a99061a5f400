#include "opm/key_exchange.h"

#include <cstring>
#include <new>

#include "opm/opm_session.h"
#include "platform/bcrypt.h"
#include "platform/crypt32.h"
#include "platform/opm.h"
#include "platform/system.h"

namespace monctl::opm {
namespace {

using namespace platform;

HRESULT LastErrorResult() { return FailureFromLastError(GetLastError()); }

// The usage list of `certificate` holds exactly the OPM usage.
bool HasOnlyOpmUsage(CertContextHandle certificate) {
  uint32_t size = 0;
  if (!CertGetEnhancedKeyUsage(certificate, 0, nullptr, &size)) return false;
  if (size < sizeof(CertEnhKeyUsage)) return false;
  // Whole pointers, so that the list is aligned for its identifiers.
  std::unique_ptr<void*[]> buffer(new (std::nothrow) void*[(size + sizeof(void*) - 1) /
                                                           sizeof(void*)]);
  if (!buffer) return false;
  auto* usage = reinterpret_cast<CertEnhKeyUsage*>(buffer.get());
  if (!CertGetEnhancedKeyUsage(certificate, 0, usage, &size)) return false;
  return usage->cUsageIdentifier == 1 &&
         std::strcmp(usage->rgpszUsageIdentifier[0], kOpmCertificateUsage) == 0;
}

// The number of bytes that hold the exponent, most significant first.
uint32_t ExponentBytes(uint32_t exponent) {
  if (exponent >= 0x1000000u) return 4;
  if ((exponent & 0xFF0000u) != 0) return 3;
  if ((exponent & 0xFF00u) != 0) return 2;
  return 1;
}

}  // namespace

HRESULT FailureFromLastError(uint32_t error) {
  const HRESULT result = HresultFromWin32(error);
  return Failed(result) ? result : kFail;
}

HRESULT BuildRsaPublicBlob(const DecodedPublicKey& decoded, UniqueTaskMemory* blob,
                           uint32_t* blob_size) {
  constexpr uint32_t kHeader = sizeof(PublicKeyStruc) + sizeof(RsaPubKey);
  if (decoded.data == nullptr || decoded.size < kHeader) return kFail;
  RsaPubKey rsa;
  std::memcpy(&rsa, decoded.data.get() + sizeof(PublicKeyStruc), sizeof(rsa));
  const uint64_t modulus_size = (uint64_t{rsa.bitlen} + 7) / 8;
  const uint32_t exponent_size = ExponentBytes(rsa.pubexp);
  if (sizeof(BcryptRsaKeyBlob) + modulus_size > UINT32_MAX) {
    return HresultFromWin32(kErrorArithmeticOverflow);
  }
  // The decoded key must hold the modulus that its bit length announces.
  if (kHeader + modulus_size > decoded.size) return kFail;

  const uint32_t size =
      static_cast<uint32_t>(sizeof(BcryptRsaKeyBlob) + exponent_size + modulus_size);
  blob->reset(static_cast<uint8_t*>(CoTaskMemAlloc(size)));
  if (!*blob) return kOutOfMemory;
  std::memset(blob->get(), 0, size);
  const BcryptRsaKeyBlob header = {kBcryptRsaPublicMagic, rsa.bitlen, exponent_size,
                                   static_cast<uint32_t>(modulus_size), 0, 0};
  std::memcpy(blob->get(), &header, sizeof(header));
  uint8_t* out = blob->get() + sizeof(header);
  for (uint32_t i = exponent_size; i-- > 0;) *out++ = static_cast<uint8_t>(rsa.pubexp >> (8 * i));
  const uint8_t* modulus = decoded.data.get() + kHeader;
  for (uint64_t i = modulus_size; i-- > 0;) *out++ = modulus[i];
  *blob_size = size;
  return kOk;
}

HRESULT GetRandomUInt32(uint32_t* value) {
  if (value == nullptr) return kInvalidArg;
  const NTSTATUS status = BCryptGenRandom(nullptr, reinterpret_cast<uint8_t*>(value),
                                          sizeof(*value), kBcryptUseSystemPreferredRng);
  return status == kStatusSuccess ? kOk : HresultFromNt(status);
}

HRESULT DecodeDriverPublicKey(const uint8_t* message, uint32_t length,
                              DecodedPublicKey* decoded) {
  if (message == nullptr || decoded == nullptr) return kInvalidArg;

  // The certificate is released before the store.
  UniqueCertStore store(CryptGetMessageCertificates(kPkcs7AsnEncoding | kX509AsnEncoding, 0, 0,
                                                    message, length));
  if (!store) return LastErrorResult();

  UniqueCertContext taken;
  for (CertContextHandle certificate = CertEnumCertificatesInStore(store.get(), nullptr);
       certificate != nullptr;
       certificate = CertEnumCertificatesInStore(store.get(), certificate)) {
    if (HasOnlyOpmUsage(certificate)) {
      taken.reset(certificate);
      break;
    }
  }
  if (!taken) return kFail;

  const CryptBitBlob* public_key = CertSubjectPublicKey(taken.get());
  uint32_t size = 0;
  if (!CryptDecodeObjectEx(kX509AsnEncoding, kRsaCspPublicKeyBlob, public_key->pbData,
                           public_key->cbData, 0, nullptr, nullptr, &size)) {
    return LastErrorResult();
  }
  std::unique_ptr<uint8_t[]> buffer(new (std::nothrow) uint8_t[size]);
  if (!buffer) return kOutOfMemory;
  if (!CryptDecodeObjectEx(kX509AsnEncoding, kRsaCspPublicKeyBlob, public_key->pbData,
                           public_key->cbData, 0, nullptr, buffer.get(), &size)) {
    return LastErrorResult();
  }
  decoded->data = std::move(buffer);
  decoded->size = size;
  return kOk;
}

HRESULT ImportDriverPublicKey(UniqueKey* key, const uint8_t* message, uint32_t length) {
  if (message == nullptr || key == nullptr) return kInvalidArg;
  key->reset();

  DecodedPublicKey decoded;
  HRESULT result = DecodeDriverPublicKey(message, length, &decoded);
  if (Failed(result)) return result;

  // Released after the blob and before the decoded key.
  UniqueAlgorithm algorithm;
  NTSTATUS status =
      BCryptOpenAlgorithmProvider(algorithm.put(), kBcryptRsaAlgorithm, kMsPrimitiveProvider, 0);
  if (status != kStatusSuccess) return HresultFromNt(status);

  UniqueTaskMemory blob;
  uint32_t blob_size = 0;
  result = BuildRsaPublicBlob(decoded, &blob, &blob_size);
  if (Failed(result)) return result;

  status = BCryptImportKeyPair(algorithm.get(), nullptr, kBcryptRsaPublicBlob, key->put(),
                               blob.get(), blob_size, 0);
  blob.reset();
  if (status != kStatusSuccess) return HresultFromNt(status);
  return kOk;
}

HRESULT COpmSession::InitializeOutput(OpmVideoOutput* output) {
  if (output == nullptr) return kInvalidArg;

  OpmRandomNumber driver_random = {};
  UniqueTaskMemory certificate;
  uint32_t certificate_length = 0;
  HRESULT result =
      output->StartInitialization(&driver_random, certificate.put(), &certificate_length);
  if (Failed(result)) return result;

  result = ImportDriverPublicKey(&m_hDriverKey, certificate.get(), certificate_length);
  if (Failed(result)) return result;

  m_dwStatusSequence = 0;
  m_dwCommandSequence = 0;
  NTSTATUS status =
      BCryptGenRandom(nullptr, reinterpret_cast<uint8_t*>(&m_dwStatusSequence),
                      sizeof(m_dwStatusSequence), kBcryptUseSystemPreferredRng);
  if (status != kStatusSuccess) return HresultFromNt(status);
  result = GetRandomUInt32(&m_dwCommandSequence);
  if (Failed(result)) return result;
  status = BCryptGenRandom(nullptr, m_abSessionKey, sizeof(m_abSessionKey),
                           kBcryptUseSystemPreferredRng);
  if (status != kStatusSuccess) return HresultFromNt(status);

  // Driver's random number, session key, then both sequence numbers
  // little-endian, in a zero-filled block of the encrypted size.
  uint8_t parameters[kEncryptedParametersSize] = {};
  constexpr uint32_t kPlaintextSize = 40;
  std::memcpy(parameters, driver_random.abRandomNumber, 16);
  std::memcpy(parameters + 16, m_abSessionKey, 16);
  for (uint32_t i = 0; i < 4; ++i) {
    parameters[32 + i] = static_cast<uint8_t>(m_dwStatusSequence >> (8 * i));
    parameters[36 + i] = static_cast<uint8_t>(m_dwCommandSequence >> (8 * i));
  }

  if (!m_hDriverKey) return kHandle;

  BcryptOaepPaddingInfo padding = {kBcryptSha512Algorithm, nullptr, 0};
  uint32_t ciphertext_size = 0;
  status = BCryptEncrypt(m_hDriverKey.get(), parameters, kPlaintextSize, &padding, nullptr, 0,
                         nullptr, 0, &ciphertext_size, kBcryptPadOaep);
  if (status != kStatusSuccess) return HresultFromNt(status);
  // The driver reads exactly the encrypted parameters' 256 bytes: a key of
  // any other length cannot be used.
  if (ciphertext_size != kEncryptedParametersSize) return kFail;
  OpmEncryptedInitializationParameters encrypted;
  static_assert(sizeof(encrypted.abEncryptedInitializationParameters) == kEncryptedParametersSize);
  status = BCryptEncrypt(m_hDriverKey.get(), parameters, kPlaintextSize, &padding, nullptr, 0,
                         encrypted.abEncryptedInitializationParameters, kEncryptedParametersSize,
                         &ciphertext_size, kBcryptPadOaep);
  if (status != kStatusSuccess) return HresultFromNt(status);
  if (ciphertext_size != kEncryptedParametersSize) return kFail;

  return output->FinishInitialization(&encrypted);
}

}  // namespace monctl::opm
