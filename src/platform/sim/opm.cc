// The OPM entry point and the task memory allocator of the native build,
// served by the simulated display stack.
#include "platform/opm.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <unordered_set>
#include <vector>

#include "platform/sim/backend.h"
#include "platform/sim/faults.h"
#include "platform/sim/simulator.h"

namespace monctl::sim {
namespace {

// Blocks handed out by CoTaskMemAlloc, so that tests can see what is not
// given back and a block from elsewhere is caught when it is freed.
struct TaskMemory {
  std::mutex mutex;
  std::unordered_set<void*> blocks;
};

TaskMemory& Blocks() {
  static TaskMemory memory;
  return memory;
}

void* AllocateTaskMemory(size_t size) {
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) return nullptr;
  TaskMemory& memory = Blocks();
  std::lock_guard lock(memory.mutex);
  memory.blocks.insert(block);
  return block;
}

}  // namespace

size_t LiveTaskMemBlocks() {
  TaskMemory& memory = Blocks();
  std::lock_guard lock(memory.mutex);
  return memory.blocks.size();
}

}  // namespace monctl::sim

namespace monctl::platform {

void* CoTaskMemAlloc(size_t size) {
  if (sim::InjectedError(sim::Call::kCoTaskMemAlloc) != 0) return nullptr;
  return sim::AllocateTaskMemory(size);
}

void CoTaskMemFree(void* block) {
  if (block == nullptr) return;
  sim::TaskMemory& memory = sim::Blocks();
  {
    std::lock_guard lock(memory.mutex);
    if (memory.blocks.erase(block) == 0) {
      // The real allocator would corrupt its heap here.
      std::fprintf(stderr, "CoTaskMemFree: %p was not allocated with CoTaskMemAlloc or is already freed\n",
                   block);
      std::abort();
    }
  }
  std::free(block);
}

HRESULT OPMGetVideoOutputsFromHMONITOR(MonitorHandle monitor, uint32_t semantics, uint32_t* count,
                                       OpmVideoOutput*** outputs) {
  if (count == nullptr || outputs == nullptr) return kPointer;
  *count = 0;
  *outputs = nullptr;
  if (semantics != kOpmVosOpmSemantics) return kInvalidArg;
  const std::optional<size_t> display = sim::DisplayOf(monitor);
  if (!display) return HresultFromWin32(sim::kErrorInvalidMonitorHandle);
  std::vector<OpmVideoOutput*> made;
  if (const HRESULT hr = sim::Current().GetOpmOutputs(*display, &made); Failed(hr)) return hr;
  if (made.empty()) return kOk;
  auto** array =
      static_cast<OpmVideoOutput**>(sim::AllocateTaskMemory(made.size() * sizeof(OpmVideoOutput*)));
  if (array == nullptr) {
    for (OpmVideoOutput* output : made) {
      if (output != nullptr) output->Release();
    }
    return kOutOfMemory;
  }
  std::copy(made.begin(), made.end(), array);
  *count = static_cast<uint32_t>(made.size());
  *outputs = array;
  return kOk;
}

}  // namespace monctl::platform
