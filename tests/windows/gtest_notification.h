#pragma once
// Force-included into GoogleTest and the Windows test programs. The win32-thread MinGW-w64
// runtime that builds the Windows programs has no std::mutex or std::condition_variable, which
// GoogleTest's own Notification is built on. It serves only threads that GoogleTest itself starts
// (the tests start none), so a flag that the waiting thread polls does the same job.
#include <atomic>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing::internal {

class Notification {
 public:
  void Notify() { notified_.store(true); }
  void WaitForNotification() {
    while (!notified_.load()) {
    }
  }

 private:
  std::atomic<bool> notified_{false};
};

}  // namespace testing::internal
