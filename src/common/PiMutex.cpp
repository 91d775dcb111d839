#include "common/PiMutex.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace velquor::common {

PiMutex::PiMutex(bool recursive) {
  pthread_mutexattr_t attributes;
  pthread_mutexattr_init(&attributes);
  pthread_mutexattr_setprotocol(&attributes, PTHREAD_PRIO_INHERIT);
  if (recursive) pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(&mutex_, &attributes);
  pthread_mutexattr_destroy(&attributes);
}

PiMutex::~PiMutex() {
  pthread_mutex_destroy(&mutex_);
}

void PiMutex::lock() {
  if (const int rc = pthread_mutex_lock(&mutex_); rc != 0) {
    // Only a broken invariant gets here (a deadlock the kernel saw): going on would race.
    std::fprintf(stderr, "mutex lock failed: %s\n", std::strerror(rc));
    std::abort();
  }
}

bool PiMutex::try_lock() {
  return pthread_mutex_trylock(&mutex_) == 0;
}

void PiMutex::unlock() {
  pthread_mutex_unlock(&mutex_);
}

}  // namespace velquor::common
