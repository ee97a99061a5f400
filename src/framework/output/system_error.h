// The system's text for a failure code, and the thread's last error as a
// failure code.
#pragma once

#include <cstdint>

namespace monctl {

constexpr uint32_t kSystemErrorTextSize = 256;

// The last error e as a code: 0 or negative unchanged, else
// (e AND 0xFFFF) OR 0x80070000.
int32_t LastErrorToHResult();
// True for a code of the Win32 facility or a plain system error number.
bool IsWin32Code(int32_t code);
// The system's message for `code`, trailing white space removed.
bool FormatSystemMessage(int32_t code, char16_t (&buffer)[kSystemErrorTextSize]);
// The message followed by " (%d)" or " (0x%08X)" with the code.
bool GetSystemErrorText(int32_t code, char16_t (&buffer)[kSystemErrorTextSize]);

}  // namespace monctl
