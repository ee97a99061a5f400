// Work on every physical monitor at once: /device all, and the properties
// listing. DDC/CI is slow by protocol and each monitor sits on its own bus,
// so the work of different monitors runs side by side on worker threads
// when the platform allows it. Workers write nothing: what each one writes
// is recorded and written afterwards, monitor by monitor in number order.
#pragma once

#include <cstddef>
#include <exception>
#include <functional>
#include <vector>

#include "framework/output/message_writer.h"

namespace monctl {

class CConsole;
class CEnumPhysicalMonitors;

// At most this many workers run at once.
constexpr size_t kMaxWorkers = 16;

// The work for one monitor and what it wrote; then, when given, what is
// done on this thread after that is written, in number order (its result
// replaces the work's).
struct CMonitorJob {
  std::function<int()> work;
  std::function<int(int result)> finish;
  CMessageRecording output;  // may already hold what came before the work
  int result = 0;
  std::exception_ptr failure;
};

// Runs every job's work with its output recorded: on up to kMaxWorkers
// threads at once when `side_by_side`, else one after another on this
// thread. Then writes each job's output through `writer` in their order
// and finishes it; an exception of a job is thrown again when its turn
// comes.
void RunJobs(CMessageWriter& writer, std::vector<CMonitorJob>& jobs, bool side_by_side);

// /device all: the steps (RunSteps) for every physical monitor, each after
// its "Selected device" line. The exit code: that of the first monitor that
// failed, kExitSuccess when none did, kExitSelection when there is none.
int RunAllMonitors(CConsole& console, CEnumPhysicalMonitors& monitors);

// /listdevices /properties with the monitors' properties read side by side;
// writes what CEnumPhysicalMonitors::List(true) writes.
void ListSideBySide(CConsole& console, CEnumPhysicalMonitors& monitors);

}  // namespace monctl
