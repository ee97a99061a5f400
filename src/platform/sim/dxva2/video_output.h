// IOPMVideoOutput as a real COM object over an output of the simulated
// graphics driver, as the test-only dxva2.dll hands it out.
#pragma once

#include <windows.h>
#include <d3d9.h>  // opmapi.h needs the Direct3D 9 types
#include <opmapi.h>

#include "platform/opm.h"

namespace monctl::wine {

// Makes a COM object with one reference that takes over the caller's
// reference to `output`; null when out of memory (the reference to `output`
// is then still the caller's).
IOPMVideoOutput* WrapVideoOutput(platform::OpmVideoOutput* output);

}  // namespace monctl::wine
