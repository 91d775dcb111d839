#pragma once
// The thread-safe log sink behind the log pane. Any thread appends whole lines;
// the window takes the new ones on its own thread; tests read them all.

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace velquor::common {

class LogSink {
 public:
  explicit LogSink(size_t capacity = 50000) : capacity_(capacity) {}

  void Add(std::string line);

  // Lines added since the last call (for the window's drain).
  std::vector<std::string> TakeNew();
  // Every line still held, oldest first.
  std::vector<std::string> Lines() const;
  size_t Count() const;
  // Number of held lines equal to `line`.
  size_t CountOf(const std::string& line) const;
  // Number of held lines starting with `prefix`.
  size_t CountStartingWith(const std::string& prefix) const;
  void Clear();

  // Called for every added line, on the adding thread, in order. Must not log.
  void SetListener(std::function<void(const std::string&)> listener);

 private:
  mutable std::mutex mutex_;
  size_t capacity_;
  std::deque<std::string> lines_;
  uint64_t firstSeq_ = 0;  // sequence number of lines_.front()
  uint64_t nextSeq_ = 0;
  uint64_t takenSeq_ = 0;
  std::function<void(const std::string&)> listener_;
};

}  // namespace velquor::common
