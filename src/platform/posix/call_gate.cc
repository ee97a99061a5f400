#include "platform/posix/call_gate.h"

#include <atomic>

namespace monctl::platform {
namespace {

std::atomic<CallGate> installed{nullptr};

}  // namespace

void SetCallGate(CallGate gate) { installed.store(gate); }

uint32_t GateError(std::string_view function) {
  const CallGate gate = installed.load(std::memory_order_relaxed);
  return gate == nullptr ? 0 : gate(function);
}

}  // namespace monctl::platform
