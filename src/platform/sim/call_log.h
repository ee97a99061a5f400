// The call log: one line for each call that changes something, kept in
// memory and, when a file is named, appended to it as the calls happen.
#pragma once

#include <string>
#include <vector>

namespace monctl::sim {

class CallLog {
 public:
  explicit CallLog(std::string path = {}) : path_(std::move(path)) {}
  void Append(std::string line);
  const std::vector<std::string>& lines() const { return lines_; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::vector<std::string> lines_;
};

}  // namespace monctl::sim
