// ParseEdid on arbitrary bytes, and MatchesIdentity on what it reads
// (fuzz/README.md).
#include <algorithm>
#include <cstring>
#include <span>

#include "app/edid.h"
#include "app/identity.h"
#include "fuzz/fuzz_check.h"

using namespace monctl;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static constexpr uint8_t kHeader[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
  uint8_t sum = 0;
  for (size_t i = 0; i < std::min<size_t>(size, 128); ++i) sum = static_cast<uint8_t>(sum + data[i]);
  const bool readable = size >= 128 && std::memcmp(data, kHeader, 8) == 0 && sum == 0;
  EdidIdentity e;
  FUZZ_CHECK(ParseEdid(std::span<const uint8_t>(data, size), &e) == readable);
  if (!readable) return FUZZ_CHECK(e.manufacturer.empty() && e.year == 0), 0;

  FUZZ_CHECK(e.manufacturer.size() == 3 && e.Id().size() == 7);
  FUZZ_CHECK(std::all_of(e.manufacturer.begin(), e.manufacturer.end(),
                         [](char16_t c) { return (c >= u'A' && c <= u'Z') || c == u'?'; }));
  for (const std::u16string& text : {e.model, e.serial}) {
    FUZZ_CHECK(text.size() <= 13 && text.find(u'\n') == text.npos && (text.empty() || text.back() != u' '));
  }
  FUZZ_CHECK(e.week != 0xFF && e.year >= 1990 && (e.width_cm == 0) == (e.height_cm == 0));
  FUZZ_CHECK(MatchesIdentity(e, e.Id()) && (e.serial.empty() || MatchesIdentity(e, e.serial)));
  MatchesIdentity(e, std::u16string(data + 128, data + size));  // any text may be asked for
  return 0;
}
