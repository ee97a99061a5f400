// The call log: one line for each call that changes something, kept in
// memory and, when a file is named, appended to it as the calls happen.
// Lines may be appended from several threads at once.
#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace monctl::sim {

class CallLog {
 public:
  explicit CallLog(std::string path = {}) : path_(std::move(path)) {}
  void Append(std::string line);
  // Not to be read while other threads append.
  const std::vector<std::string>& lines() const { return lines_; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::mutex mutex_;
  std::vector<std::string> lines_;
};

}  // namespace monctl::sim
