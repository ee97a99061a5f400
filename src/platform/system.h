// System services the portable core relies on: the thread's last-error
// value, system message texts, local time, the heap options of process
// start-up, waiting and the administrator check.
#pragma once

#include <cstdint>

#include "platform/types.h"

namespace monctl::platform {

// The calling thread's last-error value.
uint32_t GetLastError();
void SetLastError(uint32_t error);

// FormatMessageW with FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS
// in the user's default language. Returns the number of characters written
// without the terminator, 0 when there is no text or it does not fit.
uint32_t FormatSystemMessage(uint32_t message_id, char16_t* buffer, uint32_t size);

// SYSTEMTIME and GetLocalTime.
struct SystemTime {
  uint16_t wYear;
  uint16_t wMonth;
  uint16_t wDayOfWeek;
  uint16_t wDay;
  uint16_t wHour;
  uint16_t wMinute;
  uint16_t wSecond;
  uint16_t wMilliseconds;
};
void GetLocalTime(SystemTime* time);

// Local date and time in the user's default short date and time formats
// (GetDateFormatEx / GetTimeFormatEx with the current local time). Return
// the characters written including the terminator, 0 on failure.
int GetLocalDateText(char16_t* buffer, int size);
int GetLocalTimeText(char16_t* buffer, int size);

// Process start-up hardening (HeapSetInformation): the process ends on heap
// corruption; the low-fragmentation heap. Failures are ignored.
void EnableHeapTerminationOnCorruption();
void EnableLowFragmentationHeap();

void Sleep(uint32_t milliseconds);

// Membership of the calling thread's token in the built-in Administrators group.
bool IsUserAdmin();

}  // namespace monctl::platform
