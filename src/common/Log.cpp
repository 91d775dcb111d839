#include "common/Log.h"

#include <algorithm>

namespace velquor::common {

void LogSink::Add(std::string line) {
  std::lock_guard lock(mutex_);
  if (listener_) listener_(line);
  lines_.push_back(std::move(line));
  ++nextSeq_;
  while (lines_.size() > capacity_) {
    lines_.pop_front();
    ++firstSeq_;
  }
}

std::vector<std::string> LogSink::TakeNew() {
  std::lock_guard lock(mutex_);
  uint64_t from = std::max(takenSeq_, firstSeq_);
  std::vector<std::string> out(lines_.begin() + static_cast<std::ptrdiff_t>(from - firstSeq_),
                               lines_.end());
  takenSeq_ = nextSeq_;
  return out;
}

std::vector<std::string> LogSink::Lines() const {
  std::lock_guard lock(mutex_);
  return {lines_.begin(), lines_.end()};
}

size_t LogSink::Count() const {
  std::lock_guard lock(mutex_);
  return lines_.size();
}

size_t LogSink::CountOf(const std::string& line) const {
  std::lock_guard lock(mutex_);
  return static_cast<size_t>(std::count(lines_.begin(), lines_.end(), line));
}

size_t LogSink::CountStartingWith(const std::string& prefix) const {
  std::lock_guard lock(mutex_);
  return static_cast<size_t>(std::count_if(lines_.begin(), lines_.end(), [&](const std::string& l) {
    return l.compare(0, prefix.size(), prefix) == 0;
  }));
}

void LogSink::Clear() {
  std::lock_guard lock(mutex_);
  firstSeq_ = nextSeq_;
  takenSeq_ = nextSeq_;
  lines_.clear();
}

void LogSink::SetListener(std::function<void(const std::string&)> listener) {
  std::lock_guard lock(mutex_);
  listener_ = std::move(listener);
}

}  // namespace velquor::common
