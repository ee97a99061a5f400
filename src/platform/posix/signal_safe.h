// Writing and naming files on the fatal-signal path: everything here makes
// only async-signal-safe calls (write, mkdir, clock_gettime) and neither
// allocates nor takes a lock.
#pragma once

#include <limits.h>

#include <cstddef>
#include <string>

#include "platform/system.h"

namespace monctl::platform {

// write(2) until everything is written; false on an error other than EINTR.
bool WriteAll(int fd, const char* data, size_t size);

// Buffered text output to a descriptor with nothing but write(2).
class SafeWriter {
 public:
  explicit SafeWriter(int fd) : fd_(fd) {}

  SafeWriter& Text(const char* text);
  SafeWriter& Bytes(const char* data, size_t size);
  SafeWriter& Char(char c) { return Bytes(&c, 1); }
  // Decimal, at least `width` digits, padded with `pad`.
  SafeWriter& Dec(long long value, int width = 0, char pad = '0');
  SafeWriter& Hex(unsigned long long value, int digits = 16);
  bool Flush();
  bool ok() const { return ok_; }
  int fd() const { return fd_; }

 private:
  int fd_;
  char buffer_[1024];
  size_t used_ = 0;
  bool ok_ = true;
};

// A path built in a fixed buffer; Append fails when it would not fit.
struct PathBuffer {
  char text[PATH_MAX];
  size_t size = 0;

  bool Append(const char* data, size_t n);
  bool Append(const std::string& s) { return Append(s.data(), s.size()); }
};

// Whether `path` is a folder, not a link to one, that this user owns and
// that neither its group nor others may write to: no one else can then put
// a file or a link into it. Sets errno to EACCES when it is not.
bool IsPrivateFolder(const char* path);

// Creates, mode 0700, each missing folder of `path` (a writable copy of
// `size` bytes) that comes after its first `existing` bytes; true when each
// of them is then a private folder. What the first `existing` bytes name is
// neither created nor checked.
bool MakePrivateFolders(char* path, size_t size, size_t existing);

// The local time from the real-time clock and a UTC offset (seconds east
// of UTC), without the time zone functions, which lock and read files.
SystemTime LocalTimeFromClock(long utc_offset);

}  // namespace monctl::platform
