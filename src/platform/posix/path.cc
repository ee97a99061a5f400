// Path and text helpers for the native build, which take both '/' and a
// backslash for a separator.
#include "platform/path.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "platform/system.h"
#include "platform/text.h"

namespace monctl::platform {
namespace {

constexpr std::u16string_view kEllipsis = u"...";

bool IsSeparator(char16_t c) { return c == u'/' || c == u'\\'; }

// The first `count` units of `text`, not ending inside a surrogate pair.
std::u16string_view Head(std::u16string_view text, size_t count) {
  count = std::min(count, text.size());
  if (count > 0 && count < text.size() && text[count - 1] >= 0xD800 && text[count - 1] <= 0xDBFF) {
    --count;
  }
  return text.substr(0, count);
}

void Store(char16_t* out, std::u16string_view a, std::u16string_view b = {},
           std::u16string_view c = {}, std::u16string_view d = {}) {
  for (std::u16string_view part : {a, b, c, d}) {
    part.copy(out, part.size());
    out += part.size();
  }
  *out = 0;
}

}  // namespace

void PathStripPathW(char16_t* path) {
  char16_t* name = path;
  for (char16_t* p = path; *p != 0; ++p) {
    if (IsSeparator(*p)) name = p + 1;
  }
  if (name == path) return;
  char16_t* out = path;
  while ((*out++ = *name++) != 0) {
  }
}

void PathRemoveExtensionW(char16_t* path) {
  char16_t* dot = nullptr;
  for (char16_t* p = path; *p != 0; ++p) {
    if (*p == u'.') dot = p;
    else if (IsSeparator(*p) || *p == u' ') dot = nullptr;
  }
  if (dot != nullptr) *dot = 0;
}

bool StringToLower(char16_t* text, size_t size) {
  size_t i = 0;
  for (; i < size && text[i] != 0; ++i) text[i] = AsciiToLower(text[i]);
  if (i == size) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  return true;
}

const char16_t* CharNextW(const char16_t* position) {
  return *position == 0 ? position : position + 1;
}

bool PathAppendW(char16_t* path, const char16_t* more) {
  std::u16string_view head(path);
  std::u16string_view tail(more);
  while (!tail.empty() && IsSeparator(tail.front())) tail.remove_prefix(1);
  bool separator = !head.empty() && head.back() != u'/' && !tail.empty();
  size_t length = head.size() + (separator ? 1 : 0) + tail.size();
  if (length >= kMaxPath) {
    SetLastError(kErrorInsufficientBuffer);
    return false;
  }
  char16_t* end = path + head.size();
  if (separator) *end++ = u'/';
  tail.copy(end, tail.size());
  end[tail.size()] = 0;
  return true;
}

// With the promise of PathCompactPathExW: the result has at most
// `max_chars` - 1 characters. The leading folders are kept while they fit
// and the ones nearest the file name give way to "..."; the file name is
// kept whole as long as it can be, and when even the name does not fit it
// is cut and ends with "...".
bool PathCompactPathExW(char16_t* out, const char16_t* path, uint32_t max_chars, uint32_t) {
  if (out == nullptr || path == nullptr || max_chars == 0) {
    SetLastError(kErrorInvalidParameter);
    return false;
  }
  // Characters that fit; `out` holds kMaxPath characters in any case.
  const size_t limit = std::min<size_t>(max_chars, kMaxPath) - 1;
  const std::u16string_view text(path);
  if (text.size() <= limit) {
    Store(out, text);
    return true;
  }

  // The file name is the last component, with any separators after it.
  size_t end = text.size();
  while (end > 0 && IsSeparator(text[end - 1])) --end;
  size_t name_start = end;
  while (name_start > 0 && !IsSeparator(text[name_start - 1])) --name_start;
  const std::u16string_view name = text.substr(name_start);

  if (name_start > 0) {
    // The separator before the name stands after the ellipsis. The leading
    // part is cut after a separator, as long a part as fits first.
    const std::u16string_view separator = text.substr(name_start - 1, 1);
    const size_t fixed = kEllipsis.size() + 1 + name.size();
    if (fixed <= limit) {
      for (size_t i = name_start - 1; i-- > 0;) {
        if (!IsSeparator(text[i]) || i + 1 + fixed > limit) continue;
        Store(out, text.substr(0, i + 1), kEllipsis, separator, name);
        return true;
      }
      Store(out, kEllipsis, separator, name);
      return true;
    }
  }

  // Not even the name fits with a folder ellipsis before it.
  if (kEllipsis.size() + name.size() <= limit) {
    Store(out, kEllipsis, name);
  } else if (limit >= kEllipsis.size()) {
    Store(out, Head(name, limit - kEllipsis.size()), kEllipsis);
  } else {
    Store(out, kEllipsis.substr(0, limit));
  }
  return true;
}

}  // namespace monctl::platform
