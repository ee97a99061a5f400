// ComputeOmac against OpenSSL's own CMAC over every length up to a few
// blocks and the lengths that OPM signs.
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <vector>

#include "opm/omac.h"

namespace monctl::opm {
namespace {

using Block = std::array<uint8_t, 16>;

Block OpenSslCmac(const Block& key, const std::vector<uint8_t>& message, size_t length) {
  std::unique_ptr<EVP_MAC, decltype(&EVP_MAC_free)> mac(EVP_MAC_fetch(nullptr, "CMAC", nullptr),
                                                        EVP_MAC_free);
  std::unique_ptr<EVP_MAC_CTX, decltype(&EVP_MAC_CTX_free)> context(EVP_MAC_CTX_new(mac.get()),
                                                                    EVP_MAC_CTX_free);
  char cipher[] = "AES-128-CBC";
  const OSSL_PARAM params[] = {
      OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_CIPHER, cipher, 0),
      OSSL_PARAM_construct_end(),
  };
  Block tag{};
  size_t written = 0;
  EXPECT_EQ(EVP_MAC_init(context.get(), key.data(), key.size(), params), 1);
  EXPECT_EQ(EVP_MAC_update(context.get(), message.data(), length), 1);
  EXPECT_EQ(EVP_MAC_final(context.get(), tag.data(), &written, tag.size()), 1);
  EXPECT_EQ(written, tag.size());
  return tag;
}

TEST(ComputeOmacTest, AgreesWithOpenSslCmacForEveryLength) {
  std::vector<uint8_t> message(4096);
  for (size_t i = 0; i < message.size(); ++i) message[i] = static_cast<uint8_t>(i * 131 + 17);
  std::vector<size_t> lengths;
  for (size_t length = 0; length <= 80; ++length) lengths.push_back(length);
  for (size_t length : {4079, 4080, 4081, 4095, 4096}) lengths.push_back(length);

  // The example key of RFC 4493, whose L has its top bit clear, and two
  // keys whose L has it set.
  const Block keys[] = {
      {0x2b, 0x7e, 0x15, 0x16, 0x28, 0xae, 0xd2, 0xa6, 0xab, 0xf7, 0x15, 0x88, 0x09, 0xcf, 0x4f,
       0x3c},
      {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0a, 0x0b, 0x0c, 0x0d, 0x0e,
       0x0f},
      {0xff, 0xee, 0xdd, 0xcc, 0xbb, 0xaa, 0x99, 0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11,
       0x00},
  };
  for (const Block& key : keys) {
    for (size_t length : lengths) {
      SCOPED_TRACE(length);
      Block tag{};
      ASSERT_EQ(ComputeOmac(key.data(), message.data(), static_cast<uint32_t>(length), tag.data()),
                0);
      EXPECT_EQ(tag, OpenSslCmac(key, message, length));
    }
  }
}

}  // namespace
}  // namespace monctl::opm
