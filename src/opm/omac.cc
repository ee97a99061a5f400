#include "opm/omac.h"

#include <cstring>
#include <memory>
#include <new>

#include "opm/crypto_handles.h"
#include "platform/bcrypt.h"

namespace monctl::opm {
namespace {

using namespace platform;

constexpr uint8_t kRb = 0x87;  // the subkey constant of a 128-bit block

// A provider failure as a result: a failure status unchanged, any other
// non-zero status in the NT facility.
HRESULT FromStatus(NTSTATUS status) { return status < 0 ? status : HresultFromNt(status); }

void XorBlock(uint8_t* block, const uint8_t* with) {
  for (uint32_t i = 0; i < kOmacSize; ++i) block[i] ^= with[i];
}

// K = L << 1, with the constant folded into the last byte when the top bit
// of L was set.
void DeriveSubkey(const uint8_t* from, uint8_t* subkey) {
  ShiftLeftOneBit(from, subkey);
  if ((from[0] & 0x80) != 0) subkey[kOmacSize - 1] ^= kRb;
}

}  // namespace

void ShiftLeftOneBit(const uint8_t* in, uint8_t* out) {
  for (uint32_t i = 0; i + 1 < kOmacSize; ++i) {
    out[i] = static_cast<uint8_t>((in[i] << 1) | (in[i + 1] >> 7));
  }
  out[kOmacSize - 1] = static_cast<uint8_t>(in[kOmacSize - 1] << 1);
}

bool TagsEqual(const uint8_t* a, const uint8_t* b) {
  // Every byte is visited whatever differs; volatile keeps the compiler
  // from leaving the loop early.
  volatile uint8_t difference = 0;
  for (uint32_t i = 0; i < kOmacSize; ++i) difference = difference | (a[i] ^ b[i]);
  return difference == 0;
}

HRESULT ComputeOmac(const uint8_t* key, const uint8_t* message, uint32_t length, uint8_t* tag) {
  // Declared in the reverse order of their release: key, provider, key
  // object.
  std::unique_ptr<uint8_t[]> key_object;
  UniqueAlgorithm algorithm;
  UniqueKey aes_key;
  NTSTATUS status =
      BCryptOpenAlgorithmProvider(algorithm.put(), kBcryptAesAlgorithm, kMsPrimitiveProvider, 0);
  if (status != kStatusSuccess) return FromStatus(status);

  uint32_t object_length = 0;
  uint32_t written = 0;
  status = BCryptGetProperty(algorithm.get(), kBcryptObjectLength,
                             reinterpret_cast<uint8_t*>(&object_length), sizeof(object_length),
                             &written, 0);
  if (status != kStatusSuccess) return FromStatus(status);
  key_object.reset(new (std::nothrow) uint8_t[object_length]);
  if (!key_object) return kOutOfMemory;

  status = BCryptSetProperty(algorithm.get(), kBcryptChainingMode,
                             reinterpret_cast<const uint8_t*>(kBcryptChainModeCbc),
                             sizeof(kBcryptChainModeCbc), 0);
  if (status != kStatusSuccess) return FromStatus(status);

  struct {
    BcryptKeyDataBlobHeader header;
    uint8_t key[kOmacSize];
  } blob = {{kBcryptKeyDataBlobMagic, kBcryptKeyDataBlobVersion1, kOmacSize}, {}};
  static_assert(sizeof(blob) == 28);
  std::memcpy(blob.key, key, kOmacSize);
  const auto* blob_bytes = reinterpret_cast<const uint8_t*>(&blob);

  status = BCryptImportKey(algorithm.get(), nullptr, kBcryptKeyDataBlob, aes_key.put(),
                           key_object.get(), object_length, blob_bytes, sizeof(blob), 0);
  if (status != kStatusSuccess) return FromStatus(status);

  // L = AES(K, 0^128), then the two subkeys.
  uint8_t l[kOmacSize] = {};
  status = BCryptEncrypt(aes_key.get(), l, kOmacSize, nullptr, nullptr, 0, l, kOmacSize, &written,
                         0);
  if (status != kStatusSuccess) return FromStatus(status);
  uint8_t k1[kOmacSize];
  uint8_t k2[kOmacSize];
  DeriveSubkey(l, k1);
  DeriveSubkey(k1, k2);

  // A fresh key starts its CBC chain from zero: the chain left by L is gone.
  aes_key.reset();
  status = BCryptImportKey(algorithm.get(), nullptr, kBcryptKeyDataBlob, aes_key.put(),
                           key_object.get(), object_length, blob_bytes, sizeof(blob), 0);
  if (status != kStatusSuccess) return FromStatus(status);

  // Every call without an initialisation vector continues the chain in the
  // key, so the single-block calls compute the CBC-MAC.
  uint8_t block[kOmacSize];
  const uint8_t* position = message;
  uint32_t remaining = length;
  for (;;) {
    if (remaining > kOmacSize) {
      std::memcpy(block, position, kOmacSize);
      status = BCryptEncrypt(aes_key.get(), block, kOmacSize, nullptr, nullptr, 0, block,
                             kOmacSize, &written, 0);
      position += kOmacSize;
      remaining -= kOmacSize;
    } else {
      if (remaining == kOmacSize) {
        std::memcpy(block, position, kOmacSize);
        XorBlock(block, k1);
      } else {
        std::memset(block, 0, sizeof(block));
        if (remaining != 0) std::memcpy(block, position, remaining);
        block[remaining] = 0x80;
        XorBlock(block, k2);
      }
      status = BCryptEncrypt(aes_key.get(), block, kOmacSize, nullptr, nullptr, 0, tag, kOmacSize,
                             &written, 0);
      remaining = 0;
    }
    if (status != kStatusSuccess) return FromStatus(status);
    if (remaining == 0) break;
  }
  return kOk;
}

}  // namespace monctl::opm
