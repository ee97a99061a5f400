// ParseEdid on arbitrary bytes, and MatchesIdentity on what it reads
// (fuzz/README.md).
#include <algorithm>
#include <cstring>

#include "app/identity.h"
#include "fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint8_t sum = 0;
  for (size_t i = 0; i < std::min<size_t>(size, 128); ++i) sum = static_cast<uint8_t>(sum + data[i]);
  const bool readable = size >= 128 && std::memcmp(data, "\0\xFF\xFF\xFF\xFF\xFF\xFF\0", 8) == 0 && sum == 0;
  monctl::EdidIdentity e;
  FUZZ_CHECK(monctl::ParseEdid({data, size}, &e) == readable && e.manufacturer.size() == (readable ? 3 : 0));
  if (!readable) return 0;
  for (const char16_t c : e.manufacturer) FUZZ_CHECK((c >= u'A' && c <= u'Z') || c == u'?');
  for (const std::u16string& text : {e.model, e.serial}) {
    FUZZ_CHECK(text.size() <= 13 && text.find(u'\n') == text.npos && (text.empty() || text.back() != u' '));
  }
  FUZZ_CHECK(e.week != 0xFF && e.year >= 1990 && (e.width_cm == 0) == (e.height_cm == 0) && e.Id().size() == 7);
  FUZZ_CHECK(MatchesIdentity(e, e.Id()) && (e.serial.empty() || MatchesIdentity(e, e.serial)));
  monctl::MatchesIdentity(e, std::u16string(data + 128, data + size));  // any text may be asked for
  return 0;
}
