#pragma once
// Whole-file reading and writing. Files the program writes are written whole or not at
// all: a temporary beside the target, flushed, then renamed over it.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velquor::common {

bool FileExists(const std::string& path);  // a regular file
bool PathExists(const std::string& path);  // anything at all
std::optional<std::string> ReadWholeFile(const std::string& path, std::string& error);
bool WriteFileAtomic(const std::string& path, std::string_view content, std::string& error);

// A file written whole or not at all, in pieces: a temporary of its own beside `path` (two
// programs saving one file never share it), renamed onto `path` by Commit with the directory
// synced after. Dropped without Commit, or after a failed write, it leaves nothing behind.
// The temporary is locked (flock) while it is written, so RemoveLeftoverTemporaries can tell
// it from one a killed program left.
class AtomicFileWriter {
 public:
  explicit AtomicFileWriter(std::string path);
  ~AtomicFileWriter();
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  bool Ok() const { return fd_ >= 0 && error_.empty(); }
  const std::string& Error() const { return error_; }
  bool Write(std::string_view bytes);
  bool Commit();

 private:
  std::string path_, temp_, error_;
  int fd_ = -1;
  bool opened_ = false;
  bool committed_ = false;
};
bool RemoveFile(const std::string& path, std::string& error);

// Removes from `dir` the temporaries AtomicFileWriter left when its program was killed in the
// middle of a save ("NAME.tmp.XXXXXX" that no running program has locked); nothing else.
// Returns the names removed.
std::vector<std::string> RemoveLeftoverTemporaries(const std::string& dir);

// An advisory lock (flock) on `path`, a lock file made if missing, held while the object
// lives: programs that take it around a read, merge and write of one file take turns. Waits
// at most `patience` for another holder; Held() is false (and Error() says why) after that.
class FileLock {
 public:
  FileLock(const std::string& path, std::chrono::milliseconds patience);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  bool Held() const { return held_; }
  const std::string& Error() const { return error_; }

 private:
  int fd_ = -1;
  bool held_ = false;
  std::string error_;
};

// Lines of a text file, CR LF or LF ended; a last line without an end is kept.
std::vector<std::string> SplitLines(std::string_view text);
// Joins lines, each ended by CR LF.
std::string JoinLinesCrLf(const std::vector<std::string>& lines);

// The directory of the running program (for the files that live beside it).
std::string ProgramDirectory();

// `name` in directory `dir` ("" or "." = the current directory); an absolute `name` as it is.
std::string PathIn(const std::string& dir, const std::string& name);

}  // namespace velquor::common
