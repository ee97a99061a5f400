#include "platform/posix/call_gate.h"

#include <atomic>

#include "platform/system.h"

namespace monctl::platform {
namespace {

std::atomic<CallGate> installed{nullptr};

}  // namespace

void SetCallGate(CallGate gate) { installed.store(gate); }

uint32_t GateError(std::string_view function) {
  const CallGate gate = installed.load(std::memory_order_relaxed);
  return gate == nullptr ? 0 : gate(function);
}

bool GatedFailure(std::string_view function) {
  const uint32_t error = GateError(function);
  if (error != 0) SetLastError(error);
  return error != 0;
}

}  // namespace monctl::platform
