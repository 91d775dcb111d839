#pragma once
// A directory of a test's own, so the files of one test never meet another's.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace velquor::testsupport {

// A directory made for one test and removed with it.
struct ScratchDir {
  std::string path = [] {
    std::string pattern = ::testing::TempDir() + "velquor_wb_XXXXXX";
    return mkdtemp(pattern.data()) ? pattern : ::testing::TempDir();
  }();
  ScratchDir() = default;
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  ~ScratchDir() { std::filesystem::remove_all(path); }
  std::string operator/(const std::string& name) const { return path + "/" + name; }
};

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace velquor::testsupport
