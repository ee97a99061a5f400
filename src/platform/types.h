// Basic types and result codes shared by the portable core and the platform
// backends. Win32 spellings are kept where they help a reader, but under
// names that cannot collide with the macros of the Windows headers.
#pragma once

#include <cstdint>

namespace monctl::platform {

// 32-bit result code in the platform's layout: negative values fail.
using HRESULT = int32_t;
// Status of a cryptographic provider call: 0 succeeds.
using NTSTATUS = int32_t;

constexpr HRESULT kOk = 0;
constexpr HRESULT kFalse = 1;
constexpr HRESULT kFail = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT kPointer = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT kNotImpl = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT kUnexpected = static_cast<HRESULT>(0x8000FFFFu);
constexpr HRESULT kInvalidArg = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT kHandle = static_cast<HRESULT>(0x80070006u);
constexpr HRESULT kOutOfMemory = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT kArithmeticOverflow = static_cast<HRESULT>(0x80070216u);

constexpr bool Failed(HRESULT hr) { return hr < 0; }
constexpr bool Succeeded(HRESULT hr) { return hr >= 0; }

// HRESULT_FROM_WIN32: 0 or below unchanged, else in the Win32 facility.
constexpr HRESULT HresultFromWin32(uint32_t error) {
  return static_cast<int32_t>(error) <= 0
             ? static_cast<HRESULT>(error)
             : static_cast<HRESULT>((error & 0xFFFFu) | 0x80070000u);
}

// HRESULT_FROM_NT: the status with bit 28 set.
constexpr HRESULT HresultFromNt(NTSTATUS status) {
  return static_cast<HRESULT>(static_cast<uint32_t>(status) | 0x10000000u);
}

// System error numbers the core sets or tests.
constexpr uint32_t kErrorSuccess = 0;
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorPathNotFound = 3;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorInvalidHandle = 6;
constexpr uint32_t kErrorNotEnoughMemory = 8;
constexpr uint32_t kErrorInvalidData = 13;
constexpr uint32_t kErrorOutOfMemory = 14;
constexpr uint32_t kErrorNotSupported = 50;
constexpr uint32_t kErrorFileExists = 80;
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorInsufficientBuffer = 122;
constexpr uint32_t kErrorAlreadyExists = 183;
constexpr uint32_t kErrorNoMoreItems = 259;
constexpr uint32_t kErrorArithmeticOverflow = 534;
constexpr uint32_t kErrorResourceTypeNotFound = 1813;

// Maximum path length in UTF-16 units, terminator included.
constexpr uint32_t kMaxPath = 260;

}  // namespace monctl::platform
