#pragma once
// Ownership of the link for one whole exchange, from the first frame sent to the end
// of the receive. The owning thread may take it again (a DMX frame sent from a UI event
// pumped during the wait); another thread waits. An RDM exchange asks HeldByThisThread()
// first so a nested exchange started from a pumped UI event is refused, not run over
// the images of the one still waiting.

#include <atomic>
#include <mutex>
#include <thread>

namespace velquor::link {

class ExchangeLock {
 public:
  void lock();
  void unlock();
  bool HeldByThisThread() const { return owner_.load() == std::this_thread::get_id(); }

 private:
  std::recursive_mutex mutex_;
  std::atomic<std::thread::id> owner_{};
  int depth_ = 0;  // touched only by the owner
};

}  // namespace velquor::link
