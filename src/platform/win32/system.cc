// System services on Windows: kernel32 and advapi32, called as the core
// expects them.
#include "platform/system.h"

#include <windows.h>

#include "platform/win32/wide.h"

namespace monctl::platform {

static_assert(sizeof(SystemTime) == sizeof(SYSTEMTIME));

uint32_t GetLastError() { return ::GetLastError(); }

void SetLastError(uint32_t error) { ::SetLastError(error); }

uint32_t FormatSystemMessage(uint32_t message_id, char16_t* buffer, uint32_t size) {
  return ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                          message_id, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), AsWide(buffer), size,
                          nullptr);
}

void GetLocalTime(SystemTime* time) { ::GetLocalTime(reinterpret_cast<SYSTEMTIME*>(time)); }

int GetLocalDateText(char16_t* buffer, int size) {
  return ::GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, 0, nullptr, nullptr, AsWide(buffer), size,
                           nullptr);
}

int GetLocalTimeText(char16_t* buffer, int size) {
  return ::GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, nullptr, nullptr, AsWide(buffer), size);
}

void EnableHeapTerminationOnCorruption() {
  ::HeapSetInformation(nullptr, HeapEnableTerminationOnCorruption, nullptr, 0);
}

void EnableLowFragmentationHeap() {
  ULONG low_fragmentation = 2;
  ::HeapSetInformation(::GetProcessHeap(), HeapCompatibilityInformation, &low_fragmentation,
                       sizeof(low_fragmentation));
}

void Sleep(uint32_t milliseconds) { ::Sleep(milliseconds); }

bool IsUserAdmin() {
  SID_IDENTIFIER_AUTHORITY authority = SECURITY_NT_AUTHORITY;
  PSID administrators = nullptr;
  if (!::AllocateAndInitializeSid(&authority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0,
                                  0, 0, 0, 0, 0, &administrators)) {
    return false;
  }
  BOOL member = FALSE;
  if (!::CheckTokenMembership(nullptr, administrators, &member)) member = FALSE;
  ::FreeSid(administrators);
  return member != FALSE;
}

}  // namespace monctl::platform
