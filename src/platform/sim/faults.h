// Fault injection for tests, on the native side only: the calls that can
// fail (failable_calls.inc), the record of the calls a run makes, and the
// layer that fails the one a test chooses. The real implementations
// (posix/, openssl/) know nothing of it: the simulated stack's own fakes
// and the thin forwarders in front of the real functions ask it.
//
// Unarmed, which is the normal case and monctl-sim's, a call costs one
// relaxed atomic load. A test arms the layer with a recorder; then every
// call of the list is recorded in order, and the one the recorder chose
// fails.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace monctl::sim {

// Who can ask for a call's failure (see failable_calls.inc).
enum class Scope { kDisplay, kMonitor, kOpm, kRun };

enum class Call : uint8_t {
#define MONCTL_FAILABLE_CALL(function, scope) k##function,
#define MONCTL_FAILABLE_METHOD(interface, method, scope) k##method,
#include "platform/sim/failable_calls.inc"
#undef MONCTL_FAILABLE_CALL
#undef MONCTL_FAILABLE_METHOD
};

struct FailableCall {
  Call call;
  std::string_view name;  // "GetMonitorBrightness", "IOPMVideoOutput::GetInformation"
  Scope scope;
};

// In the order of the list.
inline constexpr FailableCall kFailableCalls[] = {
#define MONCTL_FAILABLE_CALL(function, scope) {Call::k##function, #function, Scope::scope},
#define MONCTL_FAILABLE_METHOD(interface, method, scope) \
  {Call::k##method, #interface "::" #method, Scope::scope},
#include "platform/sim/failable_calls.inc"
#undef MONCTL_FAILABLE_CALL
#undef MONCTL_FAILABLE_METHOD
};

constexpr const FailableCall& FailableCallOf(Call call) {
  return kFailableCalls[static_cast<size_t>(call)];
}
constexpr std::string_view NameOf(Call call) { return FailableCallOf(call).name; }

// One recorded call.
struct CallRecord {
  Call call;
  // The display monitor, by index; for EnumDisplayDevicesW without a device
  // name, the display that the enumeration index stands for; for a call of
  // scope kRun, the display of the call recorded before it.
  size_t display = 0;
  // The physical monitor or OPM output, or for EnumDisplayDevicesW with a
  // device name the monitor index asked for; none for the other calls.
  std::optional<size_t> index;
  bool failed = false;  // failed by the scenario or by FailCall
};

// The calls of a run in the order they were made, and the one failure a
// test has asked for.
class CallRecorder {
 public:
  // Makes the `ordinal`-th call (from 1) among those that the scenario lets
  // succeed fail once, with `error` as its last error (HRESULT_FROM_WIN32
  // of it for the kOpm calls, the status itself for the provider calls).
  // Counting the calls of an undisturbed run, then failing each in turn,
  // fails every call of the run once.
  void FailCall(size_t ordinal, uint32_t error) {
    ordinal_ = ordinal;
    error_ = error;
  }
  const std::vector<CallRecord>& calls() const { return calls_; }
  size_t succeeding_calls() const { return succeeding_; }

  // Records one call; `scenario_fails`: the scenario fails it anyway.
  // Returns the error to fail it with when it is the call FailCall chose.
  // While suspended nothing is recorded and nothing fails.
  std::optional<uint32_t> Record(Call call, size_t display, std::optional<size_t> index,
                                 bool scenario_fails);
  // A call of scope kRun, on the display of the call recorded before it.
  std::optional<uint32_t> RecordRun(Call call) { return Record(call, last_display_, std::nullopt, false); }
  void Suspend() { ++suspended_; }
  void Resume() { --suspended_; }

 private:
  std::vector<CallRecord> calls_;
  size_t succeeding_ = 0;  // calls recorded that the scenario lets succeed
  size_t ordinal_ = 0;     // 0: no failure asked for
  uint32_t error_ = 0;
  size_t suspended_ = 0;
  size_t last_display_ = 0;
};

// Arms the layer with `recorder`; null disarms it. The recorder must
// outlive its arming.
void ArmFaults(CallRecorder* recorder);
bool FaultsArmed();

// A call of the simulated stack on `display` (and its monitor or output
// `index`); `scenario_fails`: the scenario fails it anyway. Returns the
// error to fail it with when the test chose it.
std::optional<uint32_t> InjectedFailure(Call call, size_t display, std::optional<size_t> index,
                                        bool scenario_fails);
// A call of scope kRun: the error to fail it with, 0 to carry it out.
uint32_t InjectedError(Call call);
// The same for a function that reports failure through the last-error
// value: true, with the error set as the last error, when it must fail.
bool InjectLastError(Call call);

// While it lives, the calls made are the simulated driver's own: they are
// neither recorded nor failed.
class DriverCalls {
 public:
  DriverCalls();
  ~DriverCalls();
  DriverCalls(const DriverCalls&) = delete;
  DriverCalls& operator=(const DriverCalls&) = delete;

 private:
  CallRecorder* recorder_;
};

}  // namespace monctl::sim
