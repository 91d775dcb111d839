#include "rdm/LineExecutor.h"

#include <pthread.h>

#include <vector>

namespace velquor::rdm {

LineExecutor::LineExecutor(std::atomic<bool>& lineBusy) : lineBusy_(lineBusy) {
  thread_ = std::thread([this] { ThreadMain(); });
}

LineExecutor::~LineExecutor() {
  Shutdown();
}

std::optional<std::string> LineExecutor::Start(Command command) {
  std::lock_guard lock(mutex_);
  if (stop_) return std::string("shutdown");
  if (commandActive_.load()) return activeName_;
  activeName_ = command.name;
  pending_ = std::move(command);
  commandActive_.store(true);
  wake_.notify_all();
  return std::nullopt;
}

bool LineExecutor::Queue(QueuedJob job) {
  std::vector<QueuedJob> late;
  bool queued = false;
  {
    std::lock_guard lock(mutex_);
    // Jobs past their deadline leave now, not when the command holding the line ends: during
    // a long discovery a console's new requests find room again.
    const auto now = std::chrono::steady_clock::now();
    for (auto it = queued_.begin(); it != queued_.end();) {
      if (now > it->deadline) {
        late.push_back(std::move(*it));
        it = queued_.erase(it);
      } else {
        ++it;
      }
    }
    if (!stop_ && queued_.size() < kMaxQueuedJobs) {
      job.heldBy = commandActive_.load() ? activeName_ : std::string();
      queued_.push_back(std::move(job));
      queued = true;
      wake_.notify_all();
    }
  }
  for (QueuedJob& j : late) {
    if (j.expired) j.expired(j.heldBy);
  }
  return queued;
}

bool LineExecutor::TryRunIdle(std::function<void()> job) {
  std::lock_guard lock(mutex_);
  if (stop_ || running_ || pending_ || idleJob_) return false;
  idleJob_ = std::move(job);
  wake_.notify_all();
  return true;
}

void LineExecutor::RunAndWait(std::function<void()> job, bool holdsLine) {
  std::mutex doneMutex;
  std::condition_variable doneSignal;
  bool finished = false;
  Command command{"velquor-cli", std::move(job),
                  [&] {
                    std::lock_guard lock(doneMutex);
                    finished = true;
                    doneSignal.notify_all();
                  },
                  holdsLine};
  {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [&] { return stop_ || !commandActive_.load(); });
    if (stop_) return;
    activeName_ = command.name;
    pending_ = std::move(command);
    commandActive_.store(true);
    wake_.notify_all();
  }
  std::unique_lock lock(doneMutex);
  doneSignal.wait(lock, [&] { return finished; });
}

void LineExecutor::WaitUntilIdle() {
  std::unique_lock lock(mutex_);
  idle_.wait(lock, [&] {
    return stop_ ||
           (!commandActive_.load() && !running_ && !pending_ && !idleJob_ && queued_.empty());
  });
}

std::string LineExecutor::ActiveName() const {
  std::lock_guard lock(mutex_);
  return commandActive_.load() ? activeName_ : std::string();
}

void LineExecutor::Shutdown() {
  {
    std::lock_guard lock(mutex_);
    if (stop_ && !thread_.joinable()) return;
    stop_ = true;
    wake_.notify_all();
    idle_.notify_all();
  }
  if (thread_.joinable() && !OnExecutorThread()) thread_.join();
}

void LineExecutor::ThreadMain() {
  pthread_setname_np(pthread_self(), "velquor-line");  // for top, perf and the idle check
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [&] { return stop_ || pending_ || idleJob_ || !queued_.empty(); });
    if (stop_) {
      queued_.clear();
      idleJob_ = nullptr;
    }
    if (idleJob_ && !pending_ && queued_.empty()) {
      auto job = std::move(idleJob_);
      idleJob_ = nullptr;
      running_ = true;
      lock.unlock();
      job();
      lock.lock();
      running_ = false;
      idle_.notify_all();
      continue;
    }
    if (!pending_ && !queued_.empty()) {
      QueuedJob job = std::move(queued_.front());
      queued_.pop_front();
      running_ = true;
      lock.unlock();
      if (std::chrono::steady_clock::now() > job.deadline) {
        if (job.expired) job.expired(job.heldBy);
      } else {
        job.run();
      }
      lock.lock();
      running_ = false;
      idle_.notify_all();
      continue;
    }
    if (pending_) {
      Command command = std::move(*pending_);
      pending_.reset();
      running_ = true;
      const bool run = !stop_;
      lock.unlock();
      if (run) {
        if (command.holdsLine) lineBusy_.store(true);
        command.run();
        if (command.holdsLine) lineBusy_.store(false);
      }
      lock.lock();
      running_ = false;
      commandActive_.store(false);
      activeName_.clear();
      idle_.notify_all();
      // Whoever takes the result finds the line free already.
      lock.unlock();
      if (command.done) command.done();
      lock.lock();
      continue;
    }
    if (stop_) return;
  }
}

}  // namespace velquor::rdm
