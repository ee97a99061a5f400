#include "platform/sim/call_log.h"

#include <cstdio>
#include <utility>

namespace monctl::sim {

void CallLog::Append(std::string line) {
  std::lock_guard lock(mutex_);
  if (!path_.empty()) {
    // Opened for each line so that the file is complete whenever the
    // process ends, however it ends.
    if (std::FILE* file = std::fopen(path_.c_str(), "ab")) {
      std::fprintf(file, "%s\n", line.c_str());
      std::fclose(file);
    }
  }
  lines_.push_back(std::move(line));
}

}  // namespace monctl::sim
