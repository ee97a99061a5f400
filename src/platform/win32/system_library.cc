// Loads the system libraries of system_library.h from System32 and owns
// their module handles for the life of the process.
#include "platform/win32/system_library.h"

#include <iterator>

#include "platform/system.h"
#include "platform/unique_handle.h"

namespace monctl::platform {
namespace {

void ReleaseModule(HMODULE module) {
  // At process exit there is nothing to do about a failure.
  if (!::FreeLibrary(module)) return;
}

struct Library {
  const wchar_t* name;
  std::once_flag once;
  UniqueHandle<HMODULE, &ReleaseModule> module;
  uint32_t error = 0;
};

// In the order of SystemLibrary.
Library g_libraries[] = {
    {L"bcrypt.dll"}, {L"crypt32.dll"}, {L"dbghelp.dll"}, {L"dxva2.dll"}, {L"version.dll"},
};
static_assert(std::size(g_libraries) == static_cast<size_t>(SystemLibrary::kVersion) + 1);

HMODULE LoadSystemLibrary(SystemLibrary library) {
  Library& entry = g_libraries[static_cast<size_t>(library)];
  std::call_once(entry.once, [&entry] {
    entry.module.reset(::LoadLibraryExW(entry.name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    if (!entry.module) entry.error = GetLastError();
  });
  if (!entry.module) SetLastError(entry.error);
  return entry.module.get();
}

}  // namespace

FARPROC SystemProc::Address() const {
  std::call_once(once_, [this] {
    HMODULE module = LoadSystemLibrary(library_);
    if (module != nullptr) address_ = ::GetProcAddress(module, name_);
    if (address_ == nullptr) error_ = GetLastError();
  });
  if (address_ == nullptr) SetLastError(error_);
  return address_;
}

}  // namespace monctl::platform
