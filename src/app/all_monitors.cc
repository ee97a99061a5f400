#include "app/all_monitors.h"

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>

#include "app/console.h"
#include "app/main.h"
#include "app/physical_monitor.h"
#include "app/steps.h"
#include "platform/display.h"

namespace monctl {
namespace {

void RunJob(CMonitorJob& job) {
  CRecordingScope recording(&job.output);
  try {
    job.result = job.work();
  } catch (...) {
    job.failure = std::current_exception();
  }
}

void WriteJob(CMessageWriter& writer, CMonitorJob& job) {
  if (job.failure) std::rethrow_exception(job.failure);
  writer.Replay(job.output);
  if (job.finish) job.result = job.finish(job.result);
}

}  // namespace

void RunJobs(CMessageWriter& writer, std::vector<CMonitorJob>& jobs, bool side_by_side) {
  if (!side_by_side || jobs.size() < 2) {
    for (CMonitorJob& job : jobs) {
      RunJob(job);
      WriteJob(writer, job);
    }
    return;
  }
  // Each worker, this thread among them, takes the next job until none is
  // left; a worker that cannot be started leaves its share to the others.
  std::atomic<size_t> next{0};
  const auto work = [&jobs, &next] {
    for (size_t i = next++; i < jobs.size(); i = next++) RunJob(jobs[i]);
  };
  std::vector<std::thread> workers;
  try {
    while (workers.size() + 1 < std::min(jobs.size(), kMaxWorkers)) workers.emplace_back(work);
  } catch (const std::system_error&) {
  }
  work();
  for (std::thread& worker : workers) worker.join();
  for (CMonitorJob& job : jobs) WriteJob(writer, job);
}

int RunAllMonitors(CConsole& console, CEnumPhysicalMonitors& monitors) {
  const std::vector<CEnumPhysicalMonitors::CNumbered> numbered = monitors.AttachAll();
  if (numbered.empty()) {
    console.WriteError(u"invalid device index");
    return kExitSelection;
  }
  std::vector<CMonitorJob> jobs(numbered.size());
  for (size_t i = 0; i < numbered.size(); ++i) {
    CPhysicalMonitor* const display = numbered[i].display;
    const uint32_t index = numbered[i].index;
    // The name comes from the enumeration's cache of display devices, which
    // only this thread touches.
    CRecordingScope recording(&jobs[i].output);
    WriteSelected(console, monitors, *display, index);
    jobs[i].work = [&console, display, index] { return RunSteps(console, *display, index); };
  }
  RunJobs(console, jobs, platform::CanCallMonitorsSideBySide());
  const auto failed = std::find_if(jobs.begin(), jobs.end(), [](const CMonitorJob& job) { return job.result != 0; });
  return failed != jobs.end() ? failed->result : kExitSuccess;
}

void ListSideBySide(CConsole& console, CEnumPhysicalMonitors& monitors) {
  console.WriteLine(u"Available Monitors:\n");
  const std::vector<CEnumPhysicalMonitors::CNumbered> numbered = monitors.AttachAll();
  std::vector<CMonitorJob> jobs(numbered.size());
  for (size_t i = 0; i < numbered.size(); ++i) {
    CPhysicalMonitor* const display = numbered[i].display;
    const uint32_t index = numbered[i].index;
    CRecordingScope recording(&jobs[i].output);
    console.Write(u" %lu - ", static_cast<uint32_t>(i + 1));
    monitors.WriteName(*display, index);
    console.NewLine();
    // The output protection queries stay in number order, on this thread.
    jobs[i].work = [display, index] { return display->ShowMonitorProperties(index) ? 0 : 1; };
    jobs[i].finish = [display, index](int result) {
      if (result == 0) display->ShowConnectorType(index);
      return result;
    };
  }
  RunJobs(console, jobs, true);
  console.WriteLine(u"Done.");
}

}  // namespace monctl
