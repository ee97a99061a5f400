// Wine's bcrypt has no RSAES-OAEP, so under Wine the tool's handshake stops
// at the key exchange and the properties report has no connector type.
#include <windows.h>

namespace monctl::platform {

bool ProviderHasOaep() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll == nullptr || GetProcAddress(ntdll, "wine_get_version") == nullptr;
}

}  // namespace monctl::platform
