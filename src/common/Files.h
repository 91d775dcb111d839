#pragma once
// Whole-file reading and writing. Files the program writes are written whole or not at
// all: a temporary beside the target, flushed, then renamed over it.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velquor::common {

bool FileExists(const std::string& path);  // a regular file
bool PathExists(const std::string& path);  // anything at all
std::optional<std::string> ReadWholeFile(const std::string& path, std::string& error);
bool WriteFileAtomic(const std::string& path, std::string_view content, std::string& error);
bool RemoveFile(const std::string& path, std::string& error);

// Lines of a text file, CR LF or LF ended; a last line without an end is kept.
std::vector<std::string> SplitLines(std::string_view text);
// Joins lines, each ended by CR LF.
std::string JoinLinesCrLf(const std::vector<std::string>& lines);

// The directory of the running program (for the files that live beside it).
std::string ProgramDirectory();

// `name` in directory `dir` ("" or "." = the current directory).
std::string PathIn(const std::string& dir, const std::string& name);

}  // namespace velquor::common
