// System services for the native build: a thread-local last error, a
// message table for the codes the tool meets, and the local time.
#include "platform/system.h"

#include <ctime>
#include <string>

#include "platform/posix/system.h"
#include "platform/text.h"

namespace monctl::platform {
namespace {

thread_local uint32_t t_last_error = 0;

// System message texts: the codes that the monitor, display and
// cryptography calls of this tool can report, in our own words. Like the
// system's messages they end with a line break, which the caller trims.
struct Message {
  uint32_t id;
  const char16_t* text;
};

constexpr Message kMessages[] = {
    {0, u"The operation succeeded.\r\n"},
    {1, u"The function is not valid for this device.\r\n"},
    {2, u"The file was not found.\r\n"},
    {3, u"The path was not found.\r\n"},
    {5, u"Access is denied.\r\n"},
    {6, u"The handle is not valid.\r\n"},
    {8, u"There is not enough memory to complete the operation.\r\n"},
    {13, u"The data is not valid.\r\n"},
    {14, u"There is not enough memory to complete the operation.\r\n"},
    {21, u"The device is not ready.\r\n"},
    {31, u"A device attached to the system is not working.\r\n"},
    {50, u"The request is not supported.\r\n"},
    {87, u"A parameter is not valid.\r\n"},
    {120, u"This function is not available on this system.\r\n"},
    {122, u"The buffer is too small for the data.\r\n"},
    {183, u"The file or folder already exists.\r\n"},
    {259, u"No more data is available.\r\n"},
    {534, u"The result of the arithmetic operation is too large.\r\n"},
    {1167, u"The device is not connected.\r\n"},
    {1168, u"The element was not found.\r\n"},
    {1460, u"The operation timed out.\r\n"},
    {1461, u"The monitor handle is not valid.\r\n"},
    {1813, u"The resource type was not found in the file.\r\n"},
    {0x80004001, u"The function is not implemented.\r\n"},
    {0x80004002, u"The interface is not supported.\r\n"},
    {0x80004003, u"A pointer is not valid.\r\n"},
    {0x80004004, u"The operation was aborted.\r\n"},
    {0x80004005, u"The operation failed for an unspecified reason.\r\n"},
    {0x8000FFFF, u"An unexpected failure occurred.\r\n"},
    {0xC0262580, u"The monitor's I2C bus is not supported by the display adapter.\r\n"},
    {0xC0262581, u"No device answers at the I2C address.\r\n"},
    {0xC0262582, u"Data could not be sent to the monitor over its I2C bus.\r\n"},
    {0xC0262583, u"Data could not be received from the monitor over its I2C bus.\r\n"},
    {0xC0262584, u"The monitor does not support the requested VCP code.\r\n"},
    {0xC0262585, u"The monitor returned data that is not valid.\r\n"},
    {0xC0262586, u"The monitor returned a timing status byte that is not valid.\r\n"},
    {0xC0262587, u"The monitor returned a capabilities string that is not valid.\r\n"},
    {0xC0262588, u"An internal error occurred in the monitor configuration interface.\r\n"},
    {0xC0262589, u"The monitor returned a DDC/CI message with a command that is not valid.\r\n"},
    {0xC026258A, u"The monitor returned a DDC/CI message with a length that is not valid.\r\n"},
    {0xC026258B, u"The monitor returned a DDC/CI message with a wrong checksum.\r\n"},
    {0xC026258C, u"The physical monitor handle is not valid.\r\n"},
    {0xC026258D, u"The monitor is no longer connected.\r\n"},
    {0xC02625D8, u"The monitor reported a current value above its maximum value.\r\n"},
    {0xC02625D9, u"The monitor reported a VCP version that is not valid.\r\n"},
    {0xC02625DA, u"The monitor does not follow the monitor control command set.\r\n"},
    {0xC02625DB, u"The monitor reported conflicting versions of the monitor control command set.\r\n"},
    {0xC02625DC, u"The monitor uses an unsupported version of the monitor control command set.\r\n"},
    {0xC02625DE, u"The monitor reported a display technology type that is not valid.\r\n"},
    {0xC02625DF, u"The monitor reported an unsupported colour temperature.\r\n"},
};

}  // namespace

uint32_t GetLastError() { return t_last_error; }

void SetLastError(uint32_t error) { t_last_error = error; }

namespace posix {

uint32_t FormatSystemMessage(uint32_t message_id, char16_t* buffer, uint32_t size) {
  for (const Message& message : kMessages) {
    if (message.id != message_id) continue;
    size_t length = std::char_traits<char16_t>::length(message.text);
    if (length + 1 > size) {
      SetLastError(kErrorInsufficientBuffer);
      return 0;
    }
    std::char_traits<char16_t>::copy(buffer, message.text, length + 1);
    return static_cast<uint32_t>(length);
  }
  SetLastError(317);  // ERROR_MR_MID_NOT_FOUND
  return 0;
}

}  // namespace posix

void GetLocalTime(SystemTime* time) {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  std::tm local{};
  localtime_r(&now.tv_sec, &local);
  time->wYear = static_cast<uint16_t>(local.tm_year + 1900);
  time->wMonth = static_cast<uint16_t>(local.tm_mon + 1);
  time->wDayOfWeek = static_cast<uint16_t>(local.tm_wday);
  time->wDay = static_cast<uint16_t>(local.tm_mday);
  time->wHour = static_cast<uint16_t>(local.tm_hour);
  time->wMinute = static_cast<uint16_t>(local.tm_min);
  time->wSecond = static_cast<uint16_t>(local.tm_sec);
  time->wMilliseconds = static_cast<uint16_t>(now.tv_nsec / 1000000);
}

namespace {

int LocalTimeText(const char* format, char16_t* buffer, int size) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr) return 0;
  char text[128];
  size_t n = std::strftime(text, sizeof(text), format, &local);
  if (n == 0) return 0;
  std::u16string wide = Utf8ToUtf16(std::string_view(text, n));
  if (size <= 0 || wide.size() + 1 > static_cast<size_t>(size)) {
    SetLastError(kErrorInsufficientBuffer);
    return 0;
  }
  wide.copy(buffer, wide.size());
  buffer[wide.size()] = 0;
  return static_cast<int>(wide.size() + 1);
}

}  // namespace

int GetLocalDateText(char16_t* buffer, int size) { return LocalTimeText("%x", buffer, size); }

int GetLocalTimeText(char16_t* buffer, int size) { return LocalTimeText("%X", buffer, size); }

// glibc's allocator already ends the process when it detects heap
// corruption, and has no low-fragmentation mode to switch on.
void EnableHeapTerminationOnCorruption() {}

void EnableLowFragmentationHeap() {}

}  // namespace monctl::platform
