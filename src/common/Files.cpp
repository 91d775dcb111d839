#include "common/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace velquor::common {

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool PathExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

std::optional<std::string> ReadWholeFile(const std::string& path, std::string& error) {
  if (PathExists(path) && !FileExists(path)) {
    error = "not a regular file";
    return std::nullopt;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = std::strerror(errno);
    return std::nullopt;
  }
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) {
    error = "read error";
    return std::nullopt;
  }
  return text.str();
}

namespace {

constexpr std::string_view kTempMark = ".tmp.";
constexpr size_t kTempSuffix = 6;  // mkostemp's XXXXXX

bool IsOurTemporaryName(std::string_view name) {
  if (name.size() < kTempMark.size() + kTempSuffix + 1) return false;
  const size_t mark = name.size() - kTempSuffix - kTempMark.size();
  if (name.substr(mark, kTempMark.size()) != kTempMark) return false;
  for (char c : name.substr(name.size() - kTempSuffix)) {
    if (!std::isalnum(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

}  // namespace

AtomicFileWriter::AtomicFileWriter(std::string path) : path_(std::move(path)) {
  // A start-up cleanup may take a temporary in the moment between its creation and its lock;
  // one that lost its name that way is given up for another.
  for (int attempt = 0; attempt < 3; ++attempt) {
    temp_ = path_ + ".tmp.XXXXXX";
    fd_ = ::mkostemp(temp_.data(), O_CLOEXEC);
    if (fd_ < 0) {
      error_ = std::strerror(errno);
      return;
    }
    struct stat st {};
    if (::flock(fd_, LOCK_EX) == 0 && ::fstat(fd_, &st) == 0 && st.st_nlink > 0) {
      opened_ = true;
      ::fchmod(fd_, 0644);
      return;
    }
    ::close(fd_);
    fd_ = -1;
  }
  error_ = "the temporary file was removed while it was made";
}

AtomicFileWriter::~AtomicFileWriter() {
  if (opened_ && !committed_) ::unlink(temp_.c_str());  // still locked: no cleanup races it
  if (fd_ >= 0) ::close(fd_);
}

bool AtomicFileWriter::Write(std::string_view bytes) {
  while (Ok() && !bytes.empty()) {
    const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error_ = std::strerror(errno);
    } else {
      bytes.remove_prefix(static_cast<size_t>(n));
    }
  }
  return Ok();
}

bool AtomicFileWriter::Commit() {
  if (!Ok()) return false;
  // Renamed while still locked, so no cleanup can take the temporary from under the rename.
  if (::fsync(fd_) != 0 || ::rename(temp_.c_str(), path_.c_str()) != 0) {
    error_ = std::strerror(errno);
    return false;
  }
  committed_ = true;
  const bool closed = ::close(fd_) == 0;
  fd_ = -1;
  if (!closed) {
    error_ = std::strerror(errno);
    return false;
  }
  // The rename itself reaches the disk with the directory.
  const std::string dir = std::filesystem::path(path_).parent_path().string();
  const int dirFd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return true;
}

bool WriteFileAtomic(const std::string& path, std::string_view content, std::string& error) {
  AtomicFileWriter file(path);
  if (file.Write(content) && file.Commit()) return true;
  error = file.Error();
  return false;
}

bool RemoveFile(const std::string& path, std::string& error) {
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
    error = std::strerror(errno);
    return false;
  }
  return true;
}

std::vector<std::string> RemoveLeftoverTemporaries(const std::string& dir) {
  std::vector<std::string> removed;
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return removed;
  while (const dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (!IsOurTemporaryName(name)) continue;
    const std::string path = PathIn(dir, name);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) continue;
    struct stat st {};
    // A lock that is free: the program that wrote it is gone.
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        ::unlink(path.c_str()) == 0) {
      removed.push_back(name);
    }
    ::close(fd);
  }
  ::closedir(d);
  return removed;
}

FileLock::FileLock(const std::string& path, std::chrono::milliseconds patience) {
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd_ < 0) {
    error_ = std::strerror(errno);
    return;
  }
  const auto deadline = std::chrono::steady_clock::now() + patience;
  while (!(held_ = ::flock(fd_, LOCK_EX | LOCK_NB) == 0)) {
    if (errno != EWOULDBLOCK && errno != EINTR) {
      error_ = std::strerror(errno);
      return;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      error_ = "another program holds " + path;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

FileLock::~FileLock() {
  if (fd_ >= 0) ::close(fd_);  // lets go of the lock
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line);
    start = end + 1;
  }
  return lines;
}

std::string JoinLinesCrLf(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& l : lines) {
    out += l;
    out += "\r\n";
  }
  return out;
}

std::string ProgramDirectory() {
  char buffer[4096];
  ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return ".";
  std::string path(buffer, static_cast<size_t>(n));
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string PathIn(const std::string& dir, const std::string& name) {
  if (dir.empty() || dir == "." || (!name.empty() && name.front() == '/')) return name;
  return dir.back() == '/' ? dir + name : dir + "/" + name;
}

}  // namespace velquor::common
