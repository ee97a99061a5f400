// The real functions of platform/resources.h for the native build. The
// platform's own are thin forwarders in sim/resources.cc, where a test can
// make them fail.
#pragma once

#include "platform/resources.h"

namespace monctl::platform::posix {

decltype(platform::GetModuleFileNameW) GetModuleFileNameW;
decltype(platform::GetFileVersionInfoSizeW) GetFileVersionInfoSizeW;
decltype(platform::GetFileVersionInfoW) GetFileVersionInfoW;
decltype(platform::VerQueryValueW) VerQueryValueW;
decltype(platform::LoadStringW) LoadStringW;

}  // namespace monctl::platform::posix
