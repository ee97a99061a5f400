// ParseEdid on arbitrary bytes, and MatchesIdentity on what it reads
// (fuzz/README.md).
#include <algorithm>
#include <cstring>
#include <span>

#include "app/edid.h"
#include "app/identity.h"
#include "fuzz/fuzz_check.h"

using namespace monctl;

namespace {

bool IsText(const std::u16string& text) {
  return text.size() <= 13 && text.find(u'\n') == text.npos && (text.empty() || text.back() != u' ');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static constexpr uint8_t kHeader[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
  uint8_t sum = 0;
  for (size_t i = 0; i < std::min<size_t>(size, 128); ++i) sum = static_cast<uint8_t>(sum + data[i]);
  const bool readable = size >= 128 && std::memcmp(data, kHeader, 8) == 0 && sum == 0;

  EdidIdentity identity;
  FUZZ_CHECK(ParseEdid(std::span<const uint8_t>(data, size), &identity) == readable);
  if (!readable) {
    FUZZ_CHECK(identity.manufacturer.empty() && identity.year == 0);
    return 0;
  }
  FUZZ_CHECK(identity.manufacturer.size() == 3);
  FUZZ_CHECK(std::all_of(identity.manufacturer.begin(), identity.manufacturer.end(),
                         [](char16_t c) { return (c >= u'A' && c <= u'Z') || c == u'?'; }));
  FUZZ_CHECK(identity.Id().size() == 7);
  FUZZ_CHECK(IsText(identity.model));
  FUZZ_CHECK(identity.serial.size() <= 13 && identity.serial.find(u'\n') == identity.serial.npos);
  FUZZ_CHECK(identity.week != 0xFF && identity.year >= 1990);
  FUZZ_CHECK((identity.width_cm == 0) == (identity.height_cm == 0));
  FUZZ_CHECK(MatchesIdentity(identity, identity.Id()));
  if (!identity.serial.empty()) FUZZ_CHECK(MatchesIdentity(identity, identity.serial));
  // Any text, the model's part included, may be asked for.
  const std::u16string text(data + 128, data + size);
  if (!text.empty()) MatchesIdentity(identity, text);
  return 0;
}
