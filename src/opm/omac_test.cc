// ComputeOmac against the examples of RFC 4493, section 4.
#include "opm/omac.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace monctl::opm {
namespace {

template <size_t N = 16>
std::array<uint8_t, N> FromHex(const char* hex) {
  std::array<uint8_t, N> bytes{};
  for (size_t i = 0; i < N; ++i) bytes[i] = static_cast<uint8_t>(std::stoi(std::string(hex + 2 * i, 2), nullptr, 16));
  return bytes;
}

TEST(OmacTest, GivesTheTagsOfRfc4493) {
  const auto key = FromHex("2b7e151628aed2a6abf7158809cf4f3c");
  const auto message = FromHex<64>(
      "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e5130c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710");
  // The empty message and 40 bytes end in a padded block under K2, 16 and
  // 64 bytes in a whole one under K1.
  const std::pair<uint32_t, const char*> examples[] = {{0, "bb1d6929e95937287fa37d129b756746"},
                                                       {16, "070a16b46b4d4144f79bdd9dd04a287c"},
                                                       {40, "dfa66747de9ae63030ca32611497c827"},
                                                       {64, "51f0bebf7e3b9d92fc49741779363cfe"}};
  for (const auto& [length, tag] : examples) {
    std::array<uint8_t, 16> computed{};
    ASSERT_EQ(ComputeOmac(key.data(), length == 0 ? nullptr : message.data(), length, computed.data()), platform::kOk);
    EXPECT_EQ(computed, FromHex(tag)) << length << " bytes";
  }
  // K1 = L << 1, here in place.
  auto shifted = FromHex("7df76b0c1ab899b33e42f047b91b546f");
  ShiftLeftOneBit(shifted.data(), shifted.data());
  EXPECT_EQ(shifted, FromHex("fbeed618357133667c85e08f7236a8de"));
}

}  // namespace
}  // namespace monctl::opm
