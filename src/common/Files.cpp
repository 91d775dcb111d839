#include "common/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

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

AtomicFileWriter::AtomicFileWriter(std::string path)
    : path_(std::move(path)), temp_(path_ + ".tmp.XXXXXX") {
  fd_ = ::mkostemp(temp_.data(), O_CLOEXEC);
  if (fd_ < 0) {
    error_ = std::strerror(errno);
    return;
  }
  opened_ = true;
  ::fchmod(fd_, 0644);
}

AtomicFileWriter::~AtomicFileWriter() {
  if (fd_ >= 0) ::close(fd_);
  if (opened_ && !committed_) ::unlink(temp_.c_str());
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
  const bool closed = ::fsync(fd_) == 0 && ::close(fd_) == 0;
  fd_ = -1;
  if (!closed || ::rename(temp_.c_str(), path_.c_str()) != 0) {
    error_ = std::strerror(errno);
    return false;
  }
  committed_ = true;
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
