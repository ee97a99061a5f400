// Folders and files for the native build: the local application data
// folder is the user's local state folder, and files are descriptors.
#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/posix/files.h"
#include "platform/posix/signal_safe.h"
#include "platform/system.h"
#include "platform/text.h"

namespace monctl::platform {

namespace posix {

bool LocalStateFolder(std::string* folder, size_t* existing) {
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state != nullptr && state[0] == '/') {
    *folder = state;
    while (folder->size() > 1 && folder->back() == '/') folder->pop_back();
    *existing = folder->size() > 1 ? folder->rfind('/') : 0;
    return true;
  }
  // A relative XDG_STATE_HOME is ignored, as the base directory rules say.
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] != '/') return false;
  *folder = home;
  while (!folder->empty() && folder->back() == '/') folder->pop_back();
  *existing = folder->size();
  *folder += "/.local/state";
  return true;
}

HRESULT SHGetFolderPathW(uint32_t csidl, uint32_t type, char16_t* path) {
  if ((csidl & ~kCsidlFlagCreate) != kCsidlLocalAppData || type != kShgfpTypeCurrent) {
    return kInvalidArg;
  }
  std::string folder;
  size_t existing = 0;
  if (!LocalStateFolder(&folder, &existing)) return HresultFromWin32(kErrorPathNotFound);
  std::u16string wide = Utf8ToUtf16(folder);
  if (wide.size() >= kMaxPath) return HresultFromWin32(kErrorInsufficientBuffer);
  if ((csidl & kCsidlFlagCreate) != 0 && !MakePrivateFolders(folder.data(), folder.size(), existing)) {
    return HresultFromWin32(errno == EACCES || errno == EROFS || errno == EPERM
                                ? kErrorAccessDenied
                                : kErrorPathNotFound);
  }
  wide.copy(path, wide.size());
  path[wide.size()] = 0;
  return kOk;
}

}  // namespace posix

bool CreateDirectoryW(const char16_t* path) {
  std::string folder = Utf16ToUtf8(path);
  if (::mkdir(folder.c_str(), 0700) == 0) return true;
  switch (errno) {
    // Only a folder of this user that no one else can write to is reused.
    case EEXIST: SetLastError(IsPrivateFolder(folder.c_str()) ? kErrorAlreadyExists : kErrorAccessDenied); break;
    case ENOENT:
    case ENOTDIR: SetLastError(kErrorPathNotFound); break;
    case EACCES:
    case EPERM:
    case EROFS: SetLastError(kErrorAccessDenied); break;
    case ENAMETOOLONG: SetLastError(kErrorInsufficientBuffer); break;
    default: SetLastError(kErrorInvalidParameter); break;
  }
  return false;
}

FileHandle CreateFileW(const char16_t* path, uint32_t access, uint32_t disposition,
                       uint32_t attributes) {
  if (access != kGenericWrite || disposition != kCreateAlways ||
      attributes != kFileAttributeNormal) {
    SetLastError(kErrorInvalidParameter);
    return kInvalidFileHandle;
  }
  std::string name = Utf16ToUtf8(path);
  // A new file only: whatever has the name, a planted link too, stays as it is.
  int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    SetLastError(errno == ENOENT || errno == ENOTDIR ? kErrorPathNotFound
                 : errno == EEXIST                   ? kErrorFileExists
                                                     : kErrorAccessDenied);
    return kInvalidFileHandle;
  }
  return fd;
}

bool CloseHandle(FileHandle handle) {
  if (handle < 0 || ::close(static_cast<int>(handle)) != 0) {
    SetLastError(kErrorInvalidHandle);
    return false;
  }
  return true;
}

bool DeleteFileW(const char16_t* path) {
  std::string name = Utf16ToUtf8(path);
  if (::unlink(name.c_str()) == 0) return true;
  SetLastError(errno == ENOENT ? kErrorFileNotFound : kErrorAccessDenied);
  return false;
}

}  // namespace monctl::platform
