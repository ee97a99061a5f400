#include "opm/omac.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "platform/bcrypt.h"

namespace monctl::opm {
namespace {

using Block = std::array<uint8_t, 16>;

std::vector<uint8_t> FromHex(const std::string& hex) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

Block BlockFromHex(const std::string& hex) {
  const std::vector<uint8_t> bytes = FromHex(hex);
  Block block{};
  std::memcpy(block.data(), bytes.data(), block.size());
  return block;
}

// RFC 4493, section 4.
const Block kKey = BlockFromHex("2b7e151628aed2a6abf7158809cf4f3c");
const Block kL = BlockFromHex("7df76b0c1ab899b33e42f047b91b546f");
const Block kK1 = BlockFromHex("fbeed618357133667c85e08f7236a8de");
const Block kK2 = BlockFromHex("f7ddac306ae266ccf90bc11ee46d513b");
const std::vector<uint8_t> kExampleMessage = FromHex(
    "6bc1bee22e409f96e93d7e117393172a"
    "ae2d8a571e03ac9c9eb76fac45af8e51"
    "30c81c46a35ce411e5fbc1191a0a52ef"
    "f69f2445df4f9b17ad2b417be66c3710");

Block Tag(const Block& key, const uint8_t* message, uint32_t length) {
  Block tag{};
  EXPECT_EQ(ComputeOmac(key.data(), message, length, tag.data()), platform::kOk);
  return tag;
}

TEST(ComputeOmacTest, GivesTheTagsOfRfc4493) {
  struct Example {
    uint32_t length;
    const char* tag;
  };
  const Example examples[] = {
      {0, "bb1d6929e95937287fa37d129b756746"},
      {16, "070a16b46b4d4144f79bdd9dd04a287c"},
      {40, "dfa66747de9ae63030ca32611497c827"},
      {64, "51f0bebf7e3b9d92fc49741779363cfe"},
  };
  for (const Example& example : examples) {
    SCOPED_TRACE(example.length);
    EXPECT_EQ(Tag(kKey, kExampleMessage.data(), example.length), BlockFromHex(example.tag));
  }
}

TEST(ComputeOmacTest, EmptyMessageNeedsNoMessagePointer) {
  EXPECT_EQ(Tag(kKey, nullptr, 0), BlockFromHex("bb1d6929e95937287fa37d129b756746"));
}

TEST(ComputeOmacTest, TagDependsOnEveryByteAndTheLength) {
  std::vector<uint8_t> message(4096);
  for (size_t i = 0; i < message.size(); ++i) message[i] = static_cast<uint8_t>(i * 7 + 3);
  const Block whole = Tag(kKey, message.data(), 4096);

  // The last byte of a whole-block message, and the first byte.
  message[4095] ^= 0x01;
  EXPECT_NE(Tag(kKey, message.data(), 4096), whole);
  message[4095] ^= 0x01;
  message[0] ^= 0x80;
  EXPECT_NE(Tag(kKey, message.data(), 4096), whole);
  message[0] ^= 0x80;
  EXPECT_EQ(Tag(kKey, message.data(), 4096), whole);

  // A message of 15 bytes padded with 0x80 is not the 16-byte message
  // ending in 0x80: K1 and K2 keep them apart.
  std::vector<uint8_t> padded(message.begin(), message.begin() + 15);
  padded.push_back(0x80);
  EXPECT_NE(Tag(kKey, message.data(), 15), Tag(kKey, padded.data(), 16));
}

TEST(ComputeOmacTest, NoChainingValueSurvivesBetweenCalls) {
  // A call under another key in between must not change the result.
  const Block first = Tag(kKey, kExampleMessage.data(), 40);
  Block other_key = kKey;
  other_key[0] ^= 0xFF;
  const Block other = Tag(other_key, kExampleMessage.data(), 40);
  EXPECT_NE(other, first);
  EXPECT_EQ(Tag(kKey, kExampleMessage.data(), 40), first);
}

TEST(ShiftLeftOneBitTest, DerivesTheSubkeysOfRfc4493) {
  // The top bit of L is clear: K1 is the plain shift.
  Block k1{};
  ShiftLeftOneBit(kL.data(), k1.data());
  EXPECT_EQ(k1, kK1);
  // The top bit of K1 is set: K2 is the shift with 0x87 in its last byte.
  Block k2{};
  ShiftLeftOneBit(kK1.data(), k2.data());
  EXPECT_NE(k2, kK2);
  k2[15] ^= 0x87;
  EXPECT_EQ(k2, kK2);
}

TEST(ShiftLeftOneBitTest, CarriesBetweenBytesAndDropsTheTopBit) {
  Block in{};
  in[0] = 0x80;   // dropped
  in[1] = 0x01;   // to 0x02
  in[2] = 0x80;   // carries into byte 1, leaves 0
  in[15] = 0xFF;  // carries into byte 14, becomes 0xFE
  Block out{};
  ShiftLeftOneBit(in.data(), out.data());
  Block expected{};
  expected[1] = 0x03;
  expected[14] = 0x01;
  expected[15] = 0xFE;
  EXPECT_EQ(out, expected);
}

TEST(ShiftLeftOneBitTest, WorksInPlace) {
  Block block = kL;
  ShiftLeftOneBit(block.data(), block.data());
  EXPECT_EQ(block, kK1);
}

TEST(TagsEqualTest, ComparesAllSixteenBytes) {
  Block a = kK1;
  Block b = kK1;
  EXPECT_TRUE(TagsEqual(a.data(), b.data()));
  for (size_t i : {size_t{0}, size_t{7}, size_t{15}}) {
    b = a;
    b[i] ^= 0x01;
    EXPECT_FALSE(TagsEqual(a.data(), b.data())) << "byte " << i;
  }
}

TEST(PlatformAesTest, EncryptingTheZeroBlockGivesL) {
  // The block operation that ComputeOmac is built on, checked on its own.
  using namespace platform;
  BcryptAlgHandle algorithm = nullptr;
  ASSERT_EQ(BCryptOpenAlgorithmProvider(&algorithm, kBcryptAesAlgorithm, kMsPrimitiveProvider, 0),
            kStatusSuccess);
  uint32_t object_length = 0;
  uint32_t written = 0;
  ASSERT_EQ(BCryptGetProperty(algorithm, kBcryptObjectLength,
                              reinterpret_cast<uint8_t*>(&object_length), sizeof(object_length),
                              &written, 0),
            kStatusSuccess);
  EXPECT_EQ(written, sizeof(object_length));
  std::vector<uint8_t> object(object_length);
  struct {
    BcryptKeyDataBlobHeader header;
    uint8_t key[16];
  } blob = {{kBcryptKeyDataBlobMagic, kBcryptKeyDataBlobVersion1, 16}, {}};
  std::memcpy(blob.key, kKey.data(), 16);
  BcryptKeyHandle key = nullptr;
  ASSERT_EQ(BCryptImportKey(algorithm, nullptr, kBcryptKeyDataBlob, &key, object.data(),
                            object_length, reinterpret_cast<const uint8_t*>(&blob), sizeof(blob),
                            0),
            kStatusSuccess);
  Block block{};
  ASSERT_EQ(BCryptEncrypt(key, block.data(), 16, nullptr, nullptr, 0, block.data(), 16, &written,
                          0),
            kStatusSuccess);
  EXPECT_EQ(written, 16u);
  EXPECT_EQ(block, kL);
  EXPECT_EQ(BCryptDestroyKey(key), kStatusSuccess);
  EXPECT_EQ(BCryptCloseAlgorithmProvider(algorithm, 0), kStatusSuccess);
}

}  // namespace
}  // namespace monctl::opm
