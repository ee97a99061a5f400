// The minidump writer's callback, called as dbghelp would (Wine's
// MiniDumpWriteDump makes few of these calls).
#include "platform/win32/dump_callback.h"

#include <gtest/gtest.h>

namespace monctl::platform {
namespace {

TEST(CrashDumpCallbackTest, AnswersEachCallbackType) {
  constexpr ULONG kUnset = 0xAAAAAAAA;
  const struct {
    ULONG type;
    ULONG before;  // the union's first member: ModuleWriteFlags or Status
    BOOL result;
    ULONG after;
  } cases[] = {
      {ModuleCallback, ModuleWriteModule | ModuleReferencedByMemory, TRUE,
       ModuleWriteModule | ModuleReferencedByMemory},
      {ModuleCallback, ModuleWriteModule | ModuleWriteDataSeg, TRUE, ModuleWriteDataSeg},
      {ThreadCallback, kUnset, TRUE, kUnset},
      {IncludeModuleCallback, kUnset, TRUE, kUnset},
      // Unreadable memory is skipped only on TRUE with S_OK.
      {ReadMemoryFailureCallback, kUnset, TRUE, S_OK},
      {CancelCallback, kUnset, FALSE, kUnset},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    MINIDUMP_CALLBACK_INPUT input{};
    input.CallbackType = c.type;
    MINIDUMP_CALLBACK_OUTPUT output{};
    output.ModuleWriteFlags = c.before;
    EXPECT_EQ(CrashDumpCallback(nullptr, &input, &output), c.result);
    EXPECT_EQ(output.ModuleWriteFlags, c.after);
  }
  MINIDUMP_CALLBACK_OUTPUT output{};
  EXPECT_FALSE(CrashDumpCallback(nullptr, nullptr, &output));
}

}  // namespace
}  // namespace monctl::platform
