#include "platform/sim/faults.h"

#include <atomic>

#include "platform/system.h"

namespace monctl::sim {
namespace {

std::atomic<CallRecorder*> g_armed{nullptr};

CallRecorder* Armed() { return g_armed.load(std::memory_order_relaxed); }

}  // namespace

std::optional<uint32_t> CallRecorder::Record(Call call, size_t display, std::optional<size_t> index,
                                             bool scenario_fails) {
  if (suspended_ != 0) return std::nullopt;
  bool chosen = false;
  if (!scenario_fails) chosen = ++succeeding_ == ordinal_;
  calls_.push_back(CallRecord{call, display, index, scenario_fails || chosen});
  last_display_ = display;
  if (!chosen) return std::nullopt;
  return error_;
}

void ArmFaults(CallRecorder* recorder) { g_armed.store(recorder); }

bool FaultsArmed() { return Armed() != nullptr; }

std::optional<uint32_t> InjectedFailure(Call call, size_t display, std::optional<size_t> index,
                                        bool scenario_fails) {
  CallRecorder* recorder = Armed();
  if (recorder == nullptr) return std::nullopt;
  return recorder->Record(call, display, index, scenario_fails);
}

uint32_t InjectedError(Call call) {
  CallRecorder* recorder = Armed();
  if (recorder == nullptr) return 0;
  return recorder->RecordRun(call).value_or(0);
}

bool InjectLastError(Call call) {
  const uint32_t error = InjectedError(call);
  if (error != 0) platform::SetLastError(error);
  return error != 0;
}

DriverCalls::DriverCalls() : recorder_(Armed()) {
  if (recorder_ != nullptr) recorder_->Suspend();
}

DriverCalls::~DriverCalls() {
  if (recorder_ != nullptr) recorder_->Resume();
}

}  // namespace monctl::sim
