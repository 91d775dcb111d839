#pragma once
// The lock over the workbench's models (device table, list view, panel, console). A command
// on the line's executor holds it while it works on the models and lets go of it while it
// waits on the wire, so the window can show the command's progress between exchanges and
// never waits on it for longer than a few lines of bookkeeping.

#include <atomic>
#include <mutex>
#include <thread>

namespace velquor::workbench {

class ModelLock {
 public:
  void lock() {
    mutex_.lock();
    owner_.store(std::this_thread::get_id());
  }
  bool try_lock() {
    if (!mutex_.try_lock()) return false;
    owner_.store(std::this_thread::get_id());
    return true;
  }
  void unlock() {
    owner_.store(std::thread::id());
    mutex_.unlock();
  }
  bool HeldByThisThread() const { return owner_.load() == std::this_thread::get_id(); }

  // Runs `wait` (an exchange, a sleep) with the lock let go when this thread holds it.
  template <class Wait>
  auto Released(Wait&& wait) {
    const bool held = HeldByThisThread();
    if (held) unlock();
    struct Relock {
      ModelLock& lock;
      bool held;
      ~Relock() {
        if (held) lock.lock();
      }
    } relock{*this, held};
    return wait();
  }

 private:
  std::mutex mutex_;
  std::atomic<std::thread::id> owner_{};
};

}  // namespace velquor::workbench
