// Keyword tables: options, keywords, display levels, translation modes and
// prompt answers are all looked up the same way.
#pragma once

#include <cstdint>
#include <span>

namespace monctl {

struct KEYWORD {
  const char16_t* pszName;
  uint32_t dwValue;
  uint32_t dwData;
};

// True when `word` is a leading part of `name` (at most as long), compared
// without regard to the case of ASCII letters.
bool MatchesKeyword(const char16_t* word, const char16_t* name);

// Index of the first entry that `name` matches, or -1. When one matches and
// `value` is given, stores the entry's dwValue there.
int32_t FindKeyword(const char16_t* name, std::span<const KEYWORD> table, uint32_t* value = nullptr);

}  // namespace monctl
