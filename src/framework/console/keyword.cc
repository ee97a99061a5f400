#include "framework/console/keyword.h"

#include "platform/text.h"

namespace monctl {

bool MatchesKeyword(const char16_t* word, const char16_t* name) {
  size_t n = TextLength(word);
  return TextLength(name) >= n && CompareNoCase(word, name, n) == 0;
}

int32_t FindKeyword(const char16_t* name, std::span<const KEYWORD> table, uint32_t* value) {
  for (size_t i = 0; i < table.size(); ++i) {
    if (MatchesKeyword(name, table[i].pszName)) {
      if (value != nullptr) *value = table[i].dwValue;
      return static_cast<int32_t>(i);
    }
  }
  return -1;
}

}  // namespace monctl
