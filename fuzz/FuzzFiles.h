#pragma once
// For targets whose parser reads a file by path: one scratch directory per process (in
// memory when /dev/shm is there), the input written into it once per run.

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

namespace velquor::fuzz {

// Made on first use, removed with what is in it when the process ends.
class Scratch {
 public:
  Scratch() {
    path_ = (access("/dev/shm", W_OK) == 0 ? std::string("/dev/shm") : std::string("/tmp")) +
            "/velquor-fuzz-XXXXXX";
    if (mkdtemp(path_.data()) == nullptr) std::abort();
  }
  ~Scratch() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

inline const std::string& ScratchDir() {
  static const Scratch scratch;
  return scratch.Path();
}

inline std::string ScratchPath(const std::string& name) {
  return ScratchDir() + "/" + name;
}

inline void WriteScratch(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) std::abort();
}

inline std::string ReadScratch(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

inline void RemoveScratch(const std::string& path) {
  unlink(path.c_str());
}

}  // namespace velquor::fuzz
