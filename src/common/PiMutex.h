#pragma once
// A mutex with priority inheritance: a thread of normal priority that holds it while the
// real-time engine tick waits runs at the tick's priority until it lets go, so a busy machine
// that keeps it off the processor cannot make the tick late by more than the locked work.

#include <pthread.h>

namespace velquor::common {

class PiMutex {
 public:
  explicit PiMutex(bool recursive = false);
  ~PiMutex();
  PiMutex(const PiMutex&) = delete;
  PiMutex& operator=(const PiMutex&) = delete;

  void lock();
  bool try_lock();
  void unlock();

 private:
  pthread_mutex_t mutex_;
};

// The same, taken again by the thread that holds it.
class RecursivePiMutex : public PiMutex {
 public:
  RecursivePiMutex() : PiMutex(true) {}
};

}  // namespace velquor::common
