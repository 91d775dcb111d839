#include "dmx/ShowRecorder.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "common/Files.h"

namespace velquor::dmx {

ShowFrame MakeShowFrame(uint8_t sequence, std::span<const uint8_t, kSlots> levels) {
  ShowFrame frame{};
  uint32_t sum = 0x1E;
  for (uint8_t level : levels) sum += level;
  frame[0] = sequence;
  frame[1] = static_cast<uint8_t>(sum);
  frame[2] = 0x00;
  frame[3] = 0x00;
  frame[4] = 0x02;  // 512 levels, big-endian
  frame[5] = 0x00;
  std::copy(levels.begin(), levels.end(), frame.begin() + 6);
  return frame;
}

// ---------------------------------------------------------------- recorder

ShowRecorder::ShowRecorder(OutputUniverse& universe, std::function<void(int)> countShown,
                           std::function<void(const std::string&)> stopped)
    : universe_(universe), countShown_(std::move(countShown)), stopped_(std::move(stopped)) {
  thread_ = std::thread([this] { ThreadMain(); });
}

ShowRecorder::~ShowRecorder() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  wake_.notify_all();
  thread_.join();
  if (fd_ >= 0) ::close(fd_);
}

bool ShowRecorder::Start(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  std::lock_guard write(writeMutex_);
  std::lock_guard lock(mutex_);
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
  path_ = path;
  failure_.reset();
  pending_.clear();
  framesWritten_ = 0;
  frameCounter_ = 0;
  droppedAtStart_ = dropped_;
  return true;
}

void ShowRecorder::RequestFrame() {
  const OutputUniverse::Bytes now = universe_.Snapshot();  // one whole frame, never torn
  {
    std::lock_guard lock(mutex_);
    const uint8_t sequence = sequence_++;  // counts every request, with a file or without
    if (fd_ < 0) return;
    if (pending_.size() >= kMaxPendingFrames) {
      ++dropped_;
      return;
    }
    pending_.push_back(
        MakeShowFrame(sequence, std::span<const uint8_t, kSlots>(now.data(), kSlots)));
  }
  wake_.notify_one();
}

uint64_t ShowRecorder::DroppedFrames() const {
  std::lock_guard lock(mutex_);
  return dropped_;
}

std::optional<std::string> ShowRecorder::Stop() {
  Flush();
  std::lock_guard write(writeMutex_);
  std::lock_guard lock(mutex_);
  const bool recording = fd_ >= 0;
  if (recording) ::close(fd_);
  fd_ = -1;
  pending_.clear();
  const uint64_t lost = dropped_ - droppedAtStart_;
  if (!recording || lost == 0) return std::nullopt;
  return fmt::format("{}: {} frames not recorded: they came faster than the disk took them", path_,
                     lost);
}

bool ShowRecorder::Recording() const {
  std::lock_guard lock(mutex_);
  return fd_ >= 0;
}

std::optional<std::string> ShowRecorder::Failure() const {
  std::lock_guard lock(mutex_);
  return failure_;
}

void ShowRecorder::Flush() {
  std::unique_lock lock(mutex_);
  served_.wait(lock, [this] { return pending_.empty() && !writing_; });
}

void ShowRecorder::ThreadMain() {
  std::unique_lock lock(mutex_);
  for (;;) {
    // Sleeps until a frame is due: no polling.
    wake_.wait(lock, [this] { return !pending_.empty() || quit_; });
    if (quit_) return;
    const ShowFrame frame = pending_.front();
    pending_.pop_front();
    writing_ = true;
    lock.unlock();
    {
      // The disk is written without mutex_: a request never waits for it.
      std::lock_guard write(writeMutex_);
      WriteFrame(frame);
    }
    lock.lock();
    writing_ = false;
    served_.notify_all();
  }
}

void ShowRecorder::WriteFrame(const ShowFrame& frame) {
  if (fd_ < 0) return;  // stopped meanwhile
  // One write of the whole record: a killed program leaves whole frames and at most one
  // partial last one, which the player does not read.
  const ssize_t written = ::write(fd_, frame.data(), frame.size());
  if (written != static_cast<ssize_t>(frame.size())) {
    // A full disk: a partial frame would put every later frame out of step. The file is cut
    // back to its whole frames and the recording ends, saying why.
    const std::string why = written < 0 ? std::strerror(errno) : "the disk took part of a frame";
    if (::ftruncate(fd_, static_cast<off_t>(framesWritten_) * kShowFrameBytes) != 0) {
      // Not a regular file (a device): nothing to cut back.
    }
    std::string said;
    {
      std::lock_guard lock(mutex_);
      ::close(fd_);
      fd_ = -1;
      pending_.clear();
      failure_ = fmt::format("Recording stopped: {}: {}; {} whole frames kept", path_, why,
                             framesWritten_);
      said = *failure_;
    }
    if (stopped_) stopped_(said);
    return;
  }
  if (++framesWritten_ % 10 == 0) {  // every ten frames, also across the sequence's wrap
    ++frameCounter_;
    if (countShown_) countShown_(frameCounter_);
  }
}

// ---------------------------------------------------------------- player

ShowPlayer::ShowPlayer(OutputUniverse& universe, common::LogSink& log,
                       std::function<void(int)> positionShown)
    : universe_(universe), log_(log), positionShown_(std::move(positionShown)) {}

ShowPlayer::~ShowPlayer() {
  Close();
}

void ShowPlayer::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void ShowPlayer::Forget(const std::string& path) {
  std::lock_guard lock(mutex_);
  if (path != path_) return;
  Close();
  path_.clear();
  position_ = 0;
}

std::optional<int> ShowPlayer::Select(const std::string& path) {
  log_.Add(path);
  std::lock_guard lock(mutex_);
  Close();
  path_ = path;
  position_ = 0;
  damageReported_ = false;
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return std::nullopt;
  const auto size = std::filesystem::file_size(path, ec);
  if (ec) {
    log_.Add("Fail to Open File!!!");
    return std::nullopt;
  }
  log_.Add(fmt::format("file length:{} kb", size / 1024));
  if (size % kShowFrameBytes != 0) {
    log_.Add(fmt::format("{}: the last {} bytes are not a whole frame and are not played", path,
                         size % kShowFrameBytes));
  }
  return static_cast<int>(size / kShowFrameBytes);
}

std::string ShowPlayer::Selected() const {
  std::lock_guard lock(mutex_);
  return path_;
}

void ShowPlayer::PlaybackStep() {
  std::lock_guard lock(mutex_);
  if (path_.empty()) return;
  if (fd_ < 0) fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);  // kept open between frames
  if (fd_ < 0) return;
  struct stat st {};
  if (::fstat(fd_, &st) != 0) return;
  const auto length = static_cast<int64_t>(st.st_size);
  int64_t offset = static_cast<int64_t>(position_.load()) * kShowFrameBytes;
  if (offset + static_cast<int64_t>(kShowFrameBytes) >= length) {
    log_.Add(fmt::format("Loop Playback file length:{} kb", offset / 1024));
    position_ = 0;
    offset = 0;
  }
  ShowFrame frame{};
  if (::pread(fd_, frame.data(), frame.size(), offset) != static_cast<ssize_t>(frame.size())) {
    return;  // no whole frame there: the universe keeps its levels
  }
  uint32_t sum = 0x1E;
  for (size_t i = 6; i < kShowFrameBytes; ++i) sum += frame[i];
  if (static_cast<uint8_t>(sum) != frame[1] && !damageReported_) {
    damageReported_ = true;
    log_.Add(fmt::format("{}: frame {} does not add up to its checksum; it is played as it is",
                         path_, position_.load()));
  }
  universe_.StoreBlock(0, std::span<const uint8_t>(frame.data() + 6, kSlots));
  const int position = ++position_;
  if (positionShown_) positionShown_(position);
}

// ---------------------------------------------------------------- copies

namespace {

// Whole frames of a show file, read one by one.
class FrameReader {
 public:
  explicit FrameReader(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
  ~FrameReader() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool Ok() const { return fd_ >= 0; }
  int Frames() const {
    struct stat st {};
    return fd_ >= 0 && ::fstat(fd_, &st) == 0 ? static_cast<int>(st.st_size / kShowFrameBytes) : 0;
  }
  bool Read(int index, ShowFrame& frame) const {
    return ::pread(fd_, frame.data(), frame.size(), static_cast<off_t>(index) * kShowFrameBytes) ==
           static_cast<ssize_t>(frame.size());
  }

 private:
  int fd_;
};

// A copy written frame by frame and renamed onto its target when whole: a show of any size
// costs a few frames of memory, and a failed copy leaves no half file.
class FrameWriter {
 public:
  explicit FrameWriter(std::string target) : file_(std::move(target)) {}
  bool Ok() const { return file_.Ok(); }
  void Append(const ShowFrame& frame) {
    buffer_.insert(buffer_.end(), frame.begin(), frame.end());
    if (buffer_.size() >= kFlushBytes) Flush();
  }
  bool Finish() {
    Flush();
    return file_.Commit();
  }

 private:
  static constexpr size_t kFlushBytes = 256 * kShowFrameBytes;
  void Flush() {
    file_.Write(std::string_view(reinterpret_cast<const char*>(buffer_.data()), buffer_.size()));
    buffer_.clear();
  }

  common::AtomicFileWriter file_;
  std::vector<uint8_t> buffer_;
};

void Report(const CopyProgress& progress, int done, int total) {
  if (progress && (done % 1024 == 0 || done == total)) progress(done, total);
}

}  // namespace

bool CopyShowRange(const std::string& source, const std::string& target, int first, int end,
                   common::LogSink& log, const CopyProgress& progress) {
  FrameReader reader(source);
  if (!reader.Ok()) return false;
  const int frames = reader.Frames();
  first = std::clamp(first, 0, frames);
  end = std::clamp(end, 0, frames);
  if (end <= first) {
    log.Add(fmt::format("Nothing to copy: {} has frames 0 to {}; no frame from {} up to {}", source,
                        frames, first, end));
    return false;
  }
  FrameWriter writer(target);
  if (!writer.Ok()) return false;
  ShowFrame frame{};
  for (int p = first; p < end; ++p) {
    if (!reader.Read(p, frame)) return false;
    writer.Append(frame);
    Report(progress, p + 1 - first, end - first);
  }
  if (!writer.Finish()) return false;
  log.Add(fmt::format("Copy file length:{} kb", static_cast<int64_t>(end - first) *
                                                    static_cast<int64_t>(kShowFrameBytes) / 1024));
  return true;
}

bool CopyShowLoop(const std::string& source, const std::string& target, common::LogSink& log,
                  const CopyProgress& progress) {
  FrameReader reader(source);
  if (!reader.Ok()) return false;
  const int frames = reader.Frames();
  FrameWriter writer(target);
  if (!writer.Ok()) return false;
  std::array<ShowFrame, 3> opening{};
  ShowFrame frame{};
  int state = 0;
  int p = 0;
  for (; p < frames && reader.Read(p, frame); ++p) {
    writer.Append(frame);
    Report(progress, p + 1, frames);
    if (p < 3) opening[static_cast<size_t>(p)] = frame;
    if (p < 11) continue;
    // Whole 512-slot frames are compared; the header (sequence, checksum) is not.
    auto same = [&](const ShowFrame& a) {
      return std::equal(a.begin() + 6, a.end(), frame.begin() + 6);
    };
    if (same(opening[static_cast<size_t>(state)])) {
      ++state;
      log.Add(std::to_string(state));
      if (state == 3) {
        ++p;
        break;
      }
    } else {
      state = same(opening[0]) ? 1 : 0;  // a mismatch may itself begin the opening again
      if (state == 1) log.Add("1");
    }
  }
  if (!writer.Finish()) return false;
  log.Add(fmt::format("Copy file length:{} kb", static_cast<int64_t>(p) * kShowFrameBytes / 1024));
  return true;
}

}  // namespace velquor::dmx
