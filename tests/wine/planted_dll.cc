// A system DLL planted beside monctl.exe: ends the process with exit code
// 86 as soon as anything loads it.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) ::TerminateProcess(::GetCurrentProcess(), 86);
  return TRUE;
}
