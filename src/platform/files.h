// Folders and files: the user's local application data folder, creating
// folders, and creating, closing and deleting files.
#pragma once

#include <cstdint>

#include "platform/types.h"
#include "platform/unique_handle.h"

namespace monctl::platform {

// SHGetFolderPathW: the folder `csidl` (with optional kCsidlFlagCreate)
// into `path` (kMaxPath characters). Natively the local application data
// folder is the user's local state folder: $XDG_STATE_HOME when it is an
// absolute path, otherwise $HOME/.local/state. kCsidlFlagCreate creates
// its missing levels (never the home folder itself) and, like
// CreateDirectoryW, accepts each level only as a private folder.
constexpr uint32_t kCsidlLocalAppData = 0x001C;
constexpr uint32_t kCsidlFlagCreate = 0x8000;
constexpr uint32_t kShgfpTypeCurrent = 0;
HRESULT SHGetFolderPathW(uint32_t csidl, uint32_t type, char16_t* path);

// CreateDirectoryW without security attributes. An existing folder (or
// file) fails with kErrorAlreadyExists. Natively only a private folder
// counts as existing: a folder, not a link, that this user owns and that
// neither group nor others may write to; anything else there fails with
// kErrorAccessDenied.
bool CreateDirectoryW(const char16_t* path);

// A file handle: a HANDLE on Windows, a file descriptor natively.
using FileHandle = intptr_t;
constexpr FileHandle kInvalidFileHandle = -1;

constexpr uint32_t kGenericWrite = 0x40000000;
constexpr uint32_t kCreateAlways = 2;
constexpr uint32_t kFileAttributeNormal = 0x80;

// CreateFileW without sharing, security attributes or template. Natively
// only kGenericWrite with kCreateAlways is supported, the file is readable
// by its owner only, and it must be new: a name already taken, by a link
// too, fails with kErrorFileExists and is left as it is.
FileHandle CreateFileW(const char16_t* path, uint32_t access, uint32_t disposition,
                       uint32_t attributes);
bool CloseHandle(FileHandle handle);
bool DeleteFileW(const char16_t* path);

namespace detail {
inline void CloseFile(FileHandle file) { CloseHandle(file); }
}  // namespace detail

// A file handle that is closed when it goes out of scope.
using UniqueFile = UniqueHandle<FileHandle, &detail::CloseFile, kInvalidFileHandle>;

}  // namespace monctl::platform
