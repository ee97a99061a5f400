// The system DLLs that the program uses and that are not KnownDLLs: loaded
// on first use, from System32 only, so that a DLL of the same name in the
// program's folder is never run. Their functions are looked up once.
#pragma once

#include <windows.h>

#include <cstdint>
#include <mutex>

namespace monctl::platform {

enum class SystemLibrary { kBcrypt, kCrypt32, kDbghelp, kDxva2, kVersion };

// One function of a system library.
class SystemProc {
 public:
  constexpr SystemProc(SystemLibrary library, const char* name) : library_(library), name_(name) {}

  // The function's address, looked up on the first call (which loads the
  // library when it is not loaded yet) and then kept. Null when the library
  // cannot be loaded or lacks the function, with the last error of the
  // failed lookup set, such as ERROR_MOD_NOT_FOUND or ERROR_PROC_NOT_FOUND.
  FARPROC Address() const;

 private:
  SystemLibrary library_;
  const char* name_;
  mutable std::once_flag once_;
  mutable FARPROC address_ = nullptr;
  mutable uint32_t error_ = 0;
};

// SystemProc with the function's type, for example
// SystemFunction<decltype(::MiniDumpWriteDump)>.
template <typename Function>
class SystemFunction : public SystemProc {
 public:
  using SystemProc::SystemProc;
  Function* Get() const { return reinterpret_cast<Function*>(reinterpret_cast<void*>(Address())); }

  // Calls the function. When it cannot be had, answers the zero of its
  // result type (FALSE, null) with the last error set: right for the
  // functions that fail so, not for those that return an HRESULT or an
  // NTSTATUS.
  template <typename... Arguments>
  auto operator()(Arguments... arguments) const {
    Function* function = Get();
    return function != nullptr ? function(arguments...) : decltype(function(arguments...)){};
  }
};

}  // namespace monctl::platform
