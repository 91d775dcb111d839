#pragma once
// The show recorder and player of the Art-Net page. A show file (".dmx") is frame records of
// 518 bytes back to back: sequence, checksum ((0x1E + the sum of the levels) mod 256),
// 00 00, 02 00, then the 512 levels. The recorder writes one whole frame per request on a
// thread of its own; the player puts one frame into the universe per DMX frame sent, on the
// engine tick, and starts again at the end.

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>

#include "common/Log.h"
#include "dmx/OutputUniverse.h"

namespace velquor::dmx {

constexpr size_t kShowFrameBytes = 518;
using ShowFrame = std::array<uint8_t, kShowFrameBytes>;

ShowFrame MakeShowFrame(uint8_t sequence, std::span<const uint8_t, kSlots> levels);

// What a copy reports as it goes (every 1024 frames and at the end): frames written, and
// the most it will write.
using CopyProgress = std::function<void(int done, int total)>;
// Copies frames first .. end-1 of `source` (cut to the frames it has) to `target`, frame by
// frame; the output is not touched. The target appears whole or not at all; logs "Copy file
// length:N kb". False (with a log line when the range is empty) when there is nothing to copy
// or a file cannot be used.
bool CopyShowRange(const std::string& source, const std::string& target, int first, int end,
                   common::LogSink& log, const CopyProgress& progress = {});
// Copies `source` to `target` until its opening recurs: the first three frames are kept, and
// from frame 11 on each frame equal to the next of them raises the match state ("1", "2",
// "3" in the log; any other frame sets it back); at 3 the copy ends with that frame.
bool CopyShowLoop(const std::string& source, const std::string& target, common::LogSink& log,
                  const CopyProgress& progress = {});

class ShowRecorder {
 public:
  // `countShown` is called on the recorder's thread with the count for ShowState, every ten
  // frames; `stopped` there too, with the reason, when a frame cannot be written (a full
  // disk) and the recording ends by itself.
  ShowRecorder(OutputUniverse& universe, std::function<void(int)> countShown = {},
               std::function<void(const std::string&)> stopped = {});
  ~ShowRecorder();
  ShowRecorder(const ShowRecorder&) = delete;
  ShowRecorder& operator=(const ShowRecorder&) = delete;

  // Opens (or truncates) the file; false when it cannot be created.
  bool Start(const std::string& path);
  // One frame is due (the engine tick, the network thread): the universe as it is now is
  // queued for the recorder's thread, so a thread kept off the processor for a while loses
  // no frame (up to kMaxPendingFrames, about 11 s at 44 a second; past them, frames are
  // counted in DroppedFrames). Never waits for the disk.
  void RequestFrame();
  static constexpr size_t kMaxPendingFrames = 512;
  uint64_t DroppedFrames() const;
  // Closes the file after the frames asked for so far; every frame in it is whole. Says how
  // many frames of this recording were not kept because they came faster than the disk took
  // them (the queue was full); nothing when every frame asked for is in the file.
  std::optional<std::string> Stop();
  bool Recording() const;
  // Why the last recording ended by itself; nothing while it runs or when it was stopped.
  std::optional<std::string> Failure() const;
  // Waits until the requests made so far are written (tests, benchmarks).
  void Flush();

 private:
  void ThreadMain();
  void WriteFrame(const ShowFrame& frame);

  OutputUniverse& universe_;
  std::function<void(int)> countShown_;
  std::function<void(const std::string&)> stopped_;
  // writeMutex_ is held while a frame goes to the disk and to change the file; mutex_ (taken
  // second) for the queue and the state the other threads read.
  std::mutex writeMutex_;
  mutable std::mutex mutex_;
  std::string path_;
  std::optional<std::string> failure_;
  std::condition_variable wake_, served_;
  std::deque<ShowFrame> pending_;
  bool writing_ = false;
  uint64_t dropped_ = 0;
  uint64_t droppedAtStart_ = 0;  // dropped_ when this recording began
  bool quit_ = false;
  int fd_ = -1;
  uint8_t sequence_ = 0;
  int framesWritten_ = 0;  // this recording's; the count follows it, not the 8-bit sequence
  int frameCounter_ = 0;
  std::thread thread_;
};

class ShowPlayer {
 public:
  ShowPlayer(OutputUniverse& universe, common::LogSink& log,
             std::function<void(int)> positionShown = {});
  ~ShowPlayer();

  // A show chosen in the list: its whole frames (for Edit_Stop), or nothing with a log line.
  std::optional<int> Select(const std::string& path);
  std::string Selected() const;
  // One frame into the universe (engine tick): the next, or the first again at the end.
  void PlaybackStep();
  int Position() const { return position_.load(); }
  void Rewind() { position_ = 0; }
  // The show at `path` is gone (deleted): nothing plays from it any more, and a new file of
  // the same name starts from its beginning when chosen.
  void Forget(const std::string& path);

 private:
  void Close();

  OutputUniverse& universe_;
  common::LogSink& log_;
  std::function<void(int)> positionShown_;
  mutable std::mutex mutex_;
  std::string path_;
  int fd_ = -1;  // kept open while the same show plays
  std::atomic<int> position_{0};
  bool damageReported_ = false;
};

}  // namespace velquor::dmx
