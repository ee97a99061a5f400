#include "app/edid.h"

#include <fmt/format.h>

#include <algorithm>

#include "platform/text.h"

namespace monctl {
namespace {

constexpr size_t kBlockSize = 128;
constexpr uint8_t kHeader[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
constexpr size_t kDescriptors[4] = {54, 72, 90, 108};
constexpr uint8_t kSerialTag = 0xFF;
constexpr uint8_t kNameTag = 0xFC;

// The text of a display descriptor: 13 bytes that end at the first line
// feed, without trailing blanks. Bytes above 0x7F keep their code point.
std::u16string DescriptorText(std::span<const uint8_t> descriptor) {
  std::u16string text;
  for (size_t i = 5; i < 18 && descriptor[i] != '\n'; ++i) text += static_cast<char16_t>(descriptor[i]);
  while (!text.empty() && (text.back() == u' ' || text.back() == u'\0')) text.pop_back();
  return text;
}

}  // namespace

std::u16string EdidIdentity::Id() const {
  return manufacturer + Utf8ToUtf16(fmt::format("{:04X}", product_code));
}

std::u16string ManufacturerLetters(uint16_t word) {
  std::u16string letters;
  for (int shift : {10, 5, 0}) {
    const unsigned value = (word >> shift) & 0x1F;
    letters += value >= 1 && value <= 26 ? static_cast<char16_t>(u'A' + value - 1) : u'?';
  }
  return letters;
}

bool ParseEdid(std::span<const uint8_t> data, EdidIdentity* identity) {
  if (data.size() < kBlockSize) return false;
  const std::span<const uint8_t> block = data.first(kBlockSize);
  if (!std::equal(std::begin(kHeader), std::end(kHeader), block.begin())) return false;
  uint8_t sum = 0;
  for (const uint8_t byte : block) sum = static_cast<uint8_t>(sum + byte);
  if (sum != 0) return false;

  EdidIdentity result;
  result.manufacturer = ManufacturerLetters(static_cast<uint16_t>(block[8] << 8 | block[9]));
  result.product_code = static_cast<uint16_t>(block[10] | block[11] << 8);
  const uint32_t serial_number = block[12] | block[13] << 8 | block[14] << 16 | uint32_t{block[15]} << 24;
  if (block[16] != 0 && block[16] != 0xFF) result.week = block[16];
  result.year = static_cast<uint16_t>(1990 + block[17]);
  if (block[21] != 0 && block[22] != 0) {
    result.width_cm = block[21];
    result.height_cm = block[22];
  }
  for (const size_t offset : kDescriptors) {
    const std::span<const uint8_t> descriptor = block.subspan(offset, 18);
    if (descriptor[0] != 0 || descriptor[1] != 0) continue;  // a detailed timing
    if (descriptor[3] == kSerialTag) result.serial = DescriptorText(descriptor);
    if (descriptor[3] == kNameTag) result.model = DescriptorText(descriptor);
  }
  if (result.serial.empty() && serial_number != 0) result.serial = Utf8ToUtf16(fmt::format("{}", serial_number));
  *identity = std::move(result);
  return true;
}

}  // namespace monctl
