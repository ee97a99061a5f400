#include "platform/posix/signal_safe.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace monctl::platform {

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

SafeWriter& SafeWriter::Text(const char* text) { return Bytes(text, std::strlen(text)); }

SafeWriter& SafeWriter::Bytes(const char* data, size_t size) {
  while (size > 0) {
    if (used_ == sizeof(buffer_)) Flush();
    size_t n = sizeof(buffer_) - used_;
    if (n > size) n = size;
    std::memcpy(buffer_ + used_, data, n);
    used_ += n;
    data += n;
    size -= n;
  }
  return *this;
}

SafeWriter& SafeWriter::Dec(long long value, int width, char pad) {
  char digits[24];
  int n = 0;
  unsigned long long v = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                   : static_cast<unsigned long long>(value);
  do {
    digits[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0);
  if (value < 0) Char('-');
  for (int i = n; i < width; ++i) Char(pad);
  while (n > 0) Char(digits[--n]);
  return *this;
}

SafeWriter& SafeWriter::Hex(unsigned long long value, int digits) {
  char text[18] = {'0', 'x'};
  for (int i = 0; i < digits; ++i) {
    text[2 + i] = "0123456789abcdef"[(value >> (4 * (digits - 1 - i))) & 0xF];
  }
  return Bytes(text, 2 + static_cast<size_t>(digits));
}

bool SafeWriter::Flush() {
  if (used_ > 0 && !WriteAll(fd_, buffer_, used_)) ok_ = false;
  used_ = 0;
  return ok_;
}

bool PathBuffer::Append(const char* data, size_t n) {
  if (size + n >= sizeof(text)) return false;
  std::memcpy(text + size, data, n);
  size += n;
  text[size] = 0;
  return true;
}

bool IsPrivateFolder(const char* path) {
  struct stat status {};
  if (::lstat(path, &status) != 0) return false;
  if (S_ISDIR(status.st_mode) && status.st_uid == ::geteuid() && (status.st_mode & (S_IWGRP | S_IWOTH)) == 0) {
    return true;
  }
  errno = EACCES;
  return false;
}

bool MakePrivateFolders(char* path, size_t size, size_t existing) {
  for (size_t i = existing + 1; i <= size; ++i) {
    if (i < size && path[i] != '/') continue;
    const char end = path[i];
    path[i] = 0;
    const bool made = (::mkdir(path, 0700) == 0 || errno == EEXIST) && IsPrivateFolder(path);
    path[i] = end;
    if (!made) return false;
  }
  return true;
}

SystemTime LocalTimeFromClock(long utc_offset) {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  long long seconds = static_cast<long long>(now.tv_sec) + utc_offset;
  long long days = seconds / 86400;
  long long rest = seconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  // Civil date from the day number (days since 1970-01-01, a Thursday).
  long long z = days + 719468;
  long long era = (z >= 0 ? z : z - 146096) / 146097;
  long long doe = z - era * 146097;
  long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  long long mp = (5 * doy + 2) / 153;
  SystemTime t{};
  t.wDay = static_cast<uint16_t>(doy - (153 * mp + 2) / 5 + 1);
  t.wMonth = static_cast<uint16_t>(mp < 10 ? mp + 3 : mp - 9);
  t.wYear = static_cast<uint16_t>(yoe + era * 400 + (t.wMonth <= 2 ? 1 : 0));
  t.wDayOfWeek = static_cast<uint16_t>(((days + 4) % 7 + 7) % 7);
  t.wHour = static_cast<uint16_t>(rest / 3600);
  t.wMinute = static_cast<uint16_t>(rest / 60 % 60);
  t.wSecond = static_cast<uint16_t>(rest % 60);
  t.wMilliseconds = static_cast<uint16_t>(now.tv_nsec / 1000000);
  return t;
}

}  // namespace monctl::platform
