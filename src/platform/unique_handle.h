// The one owner of the handles and blocks that the program takes from the
// platform: it gives its resource back when it goes out of scope.
#pragma once

#include <utility>

namespace monctl::platform {

// Owns a `T` that `Free` gives back. `kEmpty` is the value that holds
// nothing (null, or for a file handle kInvalidFileHandle).
template <typename T, void (*Free)(T), T kEmpty = T{}>
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(T value) : value_(value) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  T get() const { return value_; }
  explicit operator bool() const { return value_ != kEmpty; }
  // Frees what is held and hands out the field for an out-parameter.
  T* put() {
    reset();
    return &value_;
  }
  T release() { return std::exchange(value_, kEmpty); }
  void reset(T value = kEmpty) {
    T old = std::exchange(value_, value);
    if (old != kEmpty) Free(old);
  }

 private:
  T value_ = kEmpty;
};

}  // namespace monctl::platform
