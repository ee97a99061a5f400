// What the native backend of the simulated display stack adds for tests,
// beside the platform functions of platform/display.h and platform/opm.h
// that it implements on sim::Current(). The HMONITOR values are
// monitor_handles.cc's natively; the test-only dxva2.dll maps Wine's
// display monitors instead.
#pragma once

#include <cstddef>
#include <optional>

#include "platform/display.h"

namespace monctl::sim {

// The HMONITOR of the display at `index` in enumeration order, as
// EnumDisplayMonitors hands it to its callback.
platform::MonitorHandle MonitorHandleOf(size_t index);
// The index of the display whose HMONITOR is `monitor`; none for a handle
// that the current simulator did not hand out.
std::optional<size_t> DisplayOf(platform::MonitorHandle monitor);

// Blocks from CoTaskMemAlloc not yet given back with CoTaskMemFree.
size_t LiveTaskMemBlocks();

}  // namespace monctl::sim
