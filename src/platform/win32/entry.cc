// The program's entry on Windows: the wide-character command line is handed
// to the tool unchanged.
#include <windows.h>

#include "app/main.h"
#include "platform/win32/wide.h"

int wmain(int argc, wchar_t* argv[]) {
  // Any DLL that is loaded from now on comes from System32 only, never from
  // the program's folder or the current one. The libraries the program
  // loads itself ask for System32 on their own (system_library.cc), so a
  // failure here leaves only the system's own loads with the default search.
  if (!::SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
    // Nothing to report: the run goes on.
  }
  return monctl::wmain(argc, reinterpret_cast<char16_t**>(argv));
}
