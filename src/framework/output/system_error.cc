#include "framework/output/system_error.h"

#include <algorithm>
#include <string>

#include "framework/output/format.h"
#include "platform/path.h"
#include "platform/system.h"
#include "platform/text.h"

namespace monctl {
namespace {

constexpr uint32_t kWin32FacilityMask = 0x1FFF0000;
constexpr uint32_t kWin32Facility = 0x00070000;

bool IsTrailingSpace(char16_t c) { return c == u'\r' || c == u'\n' || c == u'\t' || c == u' '; }

// Ends the text where its closing run of "\r\n\t " begins.
void TrimTrailingSpace(char16_t* text) {
  char16_t* run = nullptr;
  const char16_t* p = text;
  while (*p != 0) {
    if (IsTrailingSpace(*p)) {
      if (run == nullptr) run = const_cast<char16_t*>(p);
    } else {
      run = nullptr;
    }
    p = platform::CharNextW(p);
  }
  if (run != nullptr) *run = 0;
}

}  // namespace

int32_t LastErrorToHResult() {
  auto e = static_cast<int32_t>(platform::GetLastError());
  if (e <= 0) return e;
  return static_cast<int32_t>((static_cast<uint32_t>(e) & 0xFFFFu) | 0x80070000u);
}

bool IsWin32Code(int32_t code) {
  auto u = static_cast<uint32_t>(code);
  return (u & kWin32FacilityMask) == kWin32Facility || u <= 0xFFFF;
}

bool FormatSystemMessage(int32_t code, char16_t (&buffer)[kSystemErrorTextSize]) {
  auto u = static_cast<uint32_t>(code);
  uint32_t number = (u & kWin32FacilityMask) == kWin32Facility ? (u & 0xFFFF) : u;
  if (platform::FormatSystemMessage(number, buffer, kSystemErrorTextSize) == 0) return false;
  TrimTrailingSpace(buffer);
  return true;
}

bool GetSystemErrorText(int32_t code, char16_t (&buffer)[kSystemErrorTextSize]) {
  if (!FormatSystemMessage(code, buffer)) return false;
  TrimTrailingSpace(buffer);
  std::u16string suffix = IsWin32Code(code)
                              ? Format(u" (%d)", static_cast<int32_t>(static_cast<uint32_t>(code) & 0xFFFF))
                              : Format(u" (0x%08X)", static_cast<uint32_t>(code));
  // The suffix always fits: a text too long for both is cut before it.
  size_t length = std::min(TextLength(buffer), kSystemErrorTextSize - 1 - suffix.size());
  std::copy(suffix.begin(), suffix.end(), buffer + length);
  buffer[length + suffix.size()] = 0;
  return true;
}

}  // namespace monctl
