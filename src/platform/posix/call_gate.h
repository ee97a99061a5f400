// A test's hold on the native platform layer: a gate that sees the calls
// made through it and may make one of them fail. Without a gate every call
// runs normally.
#pragma once

#include <cstdint>
#include <string_view>

namespace monctl::platform {

// Returns the error with which the call of `function` must fail, or 0 to
// let it run.
using CallGate = uint32_t (*)(std::string_view function);

// Installs `gate`; nullptr removes it.
void SetCallGate(CallGate gate);

// What the installed gate says of this call of `function`: 0 to run it,
// else the error to fail it with.
uint32_t GateError(std::string_view function);

// For the functions that report a failure through the last-error value:
// true, with the gate's error set as the last error, when the gate fails
// this call of `function`.
bool GatedFailure(std::string_view function);

}  // namespace monctl::platform
