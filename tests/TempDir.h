#pragma once
// A directory of a test's own, so the files of one test never meet another's.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

namespace velquor::testsupport {

inline std::string MakeTempDir() {
  std::string pattern = ::testing::TempDir() + "velquor_wb_XXXXXX";
  char* dir = mkdtemp(pattern.data());
  return dir ? std::string(dir) : ::testing::TempDir();
}

}  // namespace velquor::testsupport
