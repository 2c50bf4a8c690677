#pragma once

#include <utility>

namespace platform {

// Move-only owner of one platform handle: closes it through the interface that issued it,
// exactly once, when it goes out of scope. A zero handle is never closed.
template <typename Handle, typename Issuer, auto Close>
class ScopedHandle {
 public:
  ScopedHandle(Issuer& issuer, Handle handle) : issuer_(&issuer), handle_(handle) {}
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  ScopedHandle(ScopedHandle&& other) noexcept
      : issuer_(other.issuer_), handle_(std::exchange(other.handle_, Handle{})) {}
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      issuer_ = other.issuer_;
      handle_ = std::exchange(other.handle_, Handle{});
    }
    return *this;
  }
  ~ScopedHandle() { Reset(); }

  Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != Handle{}; }
  [[nodiscard]] Handle release() { return std::exchange(handle_, Handle{}); }

  void Reset() {
    if (handle_ != Handle{}) {
      (issuer_->*Close)(std::exchange(handle_, Handle{}));
    }
  }

 private:
  Issuer* issuer_;
  Handle handle_;
};

}  // namespace platform
