// DecodeDriverPublicKey, BuildRsaPublicBlob and ImportDriverPublicKey on any
// certificate message, with the native backend (fuzz/README.md).
#include <cstring>

#include "fuzz/fuzz_check.h"
#include "opm/key_exchange.h"
#include "platform/sim/backend.h"

using namespace monctl;
using namespace monctl::platform;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto length = static_cast<uint32_t>(size);
  const size_t blocks_before = sim::LiveTaskMemBlocks();
  opm::DecodedPublicKey decoded, again;
  opm::UniqueTaskMemory blob;
  opm::UniqueKey key;
  uint32_t blob_size = 0;
  const HRESULT result = opm::DecodeDriverPublicKey(data, length, &decoded);
  FUZZ_CHECK(Failed(result) ? !decoded.data
                            : result == kOk && decoded.data && decoded.size >= sizeof(PublicKeyStruc) + sizeof(RsaPubKey));
  if (Succeeded(result) && Succeeded(opm::BuildRsaPublicBlob(decoded, &blob, &blob_size))) {
    RsaPubKey rsa;
    BcryptRsaKeyBlob header;
    std::memcpy(&rsa, decoded.data.get() + sizeof(PublicKeyStruc), sizeof(rsa));
    std::memcpy(&header, blob.get(), sizeof(header));
    FUZZ_CHECK(header.Magic == kBcryptRsaPublicMagic && header.BitLength == rsa.bitlen && !header.cbPrime1 && !header.cbPrime2);
    FUZZ_CHECK(header.cbPublicExp >= 1 && header.cbPublicExp <= 4 && header.cbModulus == (uint64_t{rsa.bitlen} + 7) / 8);
    FUZZ_CHECK(blob_size == sizeof(header) + header.cbPublicExp + uint64_t{header.cbModulus});
  }
  // Read again (the backend keeps the last message): the same result and key.
  FUZZ_CHECK(opm::DecodeDriverPublicKey(data, length, &again) == result && again.size == decoded.size);
  FUZZ_CHECK(!decoded.data || std::memcmp(again.data.get(), decoded.data.get(), decoded.size) == 0);
  // The import fails when the decoding does, and as it did.
  const HRESULT imported = opm::ImportDriverPublicKey(&key, data, length);
  FUZZ_CHECK(Succeeded(imported) == static_cast<bool>(key) && (Succeeded(result) || imported == result));
  blob.reset();
  key.reset();
  FUZZ_CHECK(sim::LiveTaskMemBlocks() == blocks_before);
  return 0;
}
