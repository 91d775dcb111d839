#include "link/ExchangeLock.h"

namespace velquor::link {

void ExchangeLock::lock() {
  mutex_.lock();
  if (depth_++ == 0) owner_.store(std::this_thread::get_id());
}

void ExchangeLock::unlock() {
  if (--depth_ == 0) owner_.store(std::thread::id{});
  mutex_.unlock();
}

}  // namespace velquor::link
