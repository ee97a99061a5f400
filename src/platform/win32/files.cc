// Folders and files on Windows: shell32's known folders and kernel32's
// folders and files.
#include "platform/files.h"

#include <windows.h>
#include <shlobj.h>

#include "platform/win32/wide.h"

namespace monctl::platform {

static_assert(sizeof(FileHandle) == sizeof(HANDLE));

HRESULT SHGetFolderPathW(uint32_t csidl, uint32_t type, char16_t* path) {
  return ::SHGetFolderPathW(nullptr, static_cast<int>(csidl), nullptr, type, AsWide(path));
}

bool CreateDirectoryW(const char16_t* path) {
  return ::CreateDirectoryW(AsWide(path), nullptr) != FALSE;
}

FileHandle CreateFileW(const char16_t* path, uint32_t access, uint32_t disposition,
                       uint32_t attributes) {
  HANDLE file = ::CreateFileW(AsWide(path), access, 0, nullptr, disposition, attributes, nullptr);
  return file == INVALID_HANDLE_VALUE ? kInvalidFileHandle : reinterpret_cast<FileHandle>(file);
}

bool CloseHandle(FileHandle handle) {
  return ::CloseHandle(reinterpret_cast<HANDLE>(handle)) != FALSE;
}

bool DeleteFileW(const char16_t* path) { return ::DeleteFileW(AsWide(path)) != FALSE; }

}  // namespace monctl::platform
