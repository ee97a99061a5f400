// The program's entry on Windows: the wide-character command line is handed
// to the tool unchanged.
#include "app/main.h"
#include "platform/win32/wide.h"

int wmain(int argc, wchar_t* argv[]) {
  return monctl::wmain(argc, reinterpret_cast<char16_t**>(argv));
}
