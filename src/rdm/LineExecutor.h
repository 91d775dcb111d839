#pragma once
// The one owner of the RDM line. Every exchange, whoever asks for it (a button of the window,
// the identify poll of the engine tick, velquor-cli, the Art-Net relay), runs on this thread,
// one command at a time, so no two exchanges interleave and no caller has to pump its own
// event loop while it waits for an answer.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace velquor::rdm {

class LineExecutor {
 public:
  struct Command {
    std::string name;  // for the refusal of another command while this one runs
    std::function<void()> run;
    // Called on the executor's thread when `run` has returned (or was dropped at shutdown),
    // with the line already free for the next command.
    std::function<void()> done;
    // Sets the line-busy flag for the whole command, so the tick sends no DMX meanwhile.
    bool holdsLine = true;
  };

  // `lineBusy` is the flag the engine tick reads.
  explicit LineExecutor(std::atomic<bool>& lineBusy);
  ~LineExecutor();
  LineExecutor(const LineExecutor&) = delete;
  LineExecutor& operator=(const LineExecutor&) = delete;

  // Starts a command unless another is running or waiting; a background job in hand is
  // finished first. Refused: the name of the command in the way.
  std::optional<std::string> Start(Command command);
  // A job from outside the window (a relayed Art-Net request): it waits for the command in
  // hand and never runs inside one, goes before identify polls, and is dropped once its
  // deadline has passed.
  struct QueuedJob {
    std::function<void()> run;
    // Called instead of `run` when the deadline passed while waiting, with the name of the
    // command that held the line when the job was queued.
    std::function<void(const std::string& heldBy)> expired;
    std::chrono::steady_clock::time_point deadline;
    std::string heldBy;  // filled in by Queue
  };
  static constexpr size_t kMaxQueuedJobs = 16;
  // False (and nothing queued) when kMaxQueuedJobs are waiting already or at shutdown. Jobs
  // whose deadline has passed are taken out first, their `expired` called on this thread.
  bool Queue(QueuedJob job);
  // Runs `job` when the line is idle, without waiting; false (and nothing run) otherwise.
  bool TryRunIdle(std::function<void()> job);
  // Runs `job` as a command and waits until it has ended (velquor-cli, tests). Waits for a
  // command already running.
  void RunAndWait(std::function<void()> job, bool holdsLine = true);

  // Waits until nothing runs or waits: no command, no queued job, no idle job.
  void WaitUntilIdle();

  // A command is running or waiting to run.
  bool CommandActive() const { return commandActive_.load(); }
  std::string ActiveName() const;
  bool OnExecutorThread() const { return std::this_thread::get_id() == thread_.get_id(); }

  // Ends the thread after the job in hand; commands not yet started are dropped (their
  // `done` still runs). Safe to call twice.
  void Shutdown();

 private:
  void ThreadMain();

  std::atomic<bool>& lineBusy_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::optional<Command> pending_;
  std::function<void()> idleJob_;
  std::deque<QueuedJob> queued_;
  std::string activeName_;
  bool running_ = false;  // a command or idle job is in hand
  bool stop_ = false;
  std::atomic<bool> commandActive_{false};
  std::thread thread_;
};

}  // namespace velquor::rdm
