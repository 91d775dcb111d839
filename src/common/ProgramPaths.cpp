#include "common/ProgramPaths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "common/Files.h"

namespace velquor::common {

namespace {

bool Absolute(const std::string& path) {
  return !path.empty() && path.front() == '/';
}

std::string WithoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// An XDG base directory: the variable when it is an absolute path (the others are to be
// ignored), else its fallback under the home directory.
std::string BaseDir(const std::string& variable, const std::string& home, const char* fallback) {
  return WithoutTrailingSlash(Absolute(variable) ? variable : PathIn(home, fallback));
}

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string HomeDir() {
  std::string home = Environment("HOME");
  if (!home.empty()) return home;
  struct passwd entry {};
  struct passwd* found = nullptr;
  char buffer[4096];
  if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found &&
      found->pw_dir) {
    return found->pw_dir;
  }
  return "";
}

}  // namespace

ProgramPaths ChooseProgramPaths(const ProgramFacts& facts) {
  ProgramPaths paths;
  const std::string home = WithoutTrailingSlash(facts.home);
  // Installed: beside shipped defaults, or where this user may not write. A copy of the
  // program in a folder of its own (the build tree, an unpacked archive) keeps the old layout,
  // and so does one that finds no home directory to write into instead.
  paths.installed = !facts.portableMarker &&
                    (facts.installedDefaults || !facts.programDirWritable) && Absolute(home);
  if (!paths.installed) {
    paths.configDir = facts.programDir;
    paths.dataDir = ".";
    paths.showDir = ".";
    paths.defaultsDir = facts.programDir;
    return paths;
  }
  paths.configDir = PathIn(BaseDir(facts.xdgConfigHome, home, ".config"), "velquor");
  paths.dataDir = PathIn(BaseDir(facts.xdgDataHome, home, ".local/share"), "velquor");
  const std::string documents = WithoutTrailingSlash(facts.documentsDir);
  paths.showDir = PathIn(Absolute(documents) ? documents : home, "Velquor");
  paths.defaultsDir = (std::filesystem::path(WithoutTrailingSlash(facts.programDir)).parent_path() /
                       "share" / "velquor")
                          .string();
  return paths;
}

std::string DocumentsDirIn(const std::string& userDirsText, const std::string& home) {
  // Lines of the form XDG_DOCUMENTS_DIR="$HOME/Documents" or ="/absolute/path".
  const std::string key = "XDG_DOCUMENTS_DIR=\"";
  for (const std::string& line : SplitLines(userDirsText)) {
    if (line.rfind(key, 0) != 0) continue;
    const size_t end = line.find('"', key.size());
    if (end == std::string::npos) return "";
    std::string value = line.substr(key.size(), end - key.size());
    if (value.rfind("$HOME", 0) == 0) value = home + value.substr(5);
    value = WithoutTrailingSlash(value);
    // "$HOME/" means the user keeps no documents folder.
    return Absolute(value) && value != WithoutTrailingSlash(home) ? value : "";
  }
  return "";
}

ProgramFacts ProgramFactsNow() {
  ProgramFacts facts;
  facts.programDir = ProgramDirectory();
  facts.portableMarker = FileExists(PathIn(facts.programDir, kPortableMarker));
  std::error_code ec;
  facts.installedDefaults = std::filesystem::is_directory(
      std::filesystem::path(facts.programDir).parent_path() / "share" / "velquor", ec);
  facts.programDirWritable = ::access(facts.programDir.c_str(), W_OK) == 0;
  facts.home = HomeDir();
  facts.xdgConfigHome = Environment("XDG_CONFIG_HOME");
  facts.xdgDataHome = Environment("XDG_DATA_HOME");
  if (Absolute(facts.home)) {
    std::string error;
    const auto userDirs = ReadWholeFile(
        PathIn(BaseDir(facts.xdgConfigHome, facts.home, ".config"), "user-dirs.dirs"), error);
    if (userDirs) facts.documentsDir = DocumentsDirIn(*userDirs, facts.home);
  }
  return facts;
}

std::vector<std::string> PrepareUserDirectories(const ProgramPaths& paths) {
  std::vector<std::string> problems;
  if (!paths.installed) return problems;
  for (const std::string& dir : {paths.configDir, paths.dataDir, paths.showDir}) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) problems.push_back("Cannot make " + dir + ": " + ec.message());
  }
  const std::pair<const char*, const std::string&> seeds[] = {{"UidList.ini", paths.configDir},
                                                              {"devnone.lst", paths.dataDir}};
  for (const auto& [name, dir] : seeds) {
    const std::string target = PathIn(dir, name);
    const std::string source = PathIn(paths.defaultsDir, name);
    if (PathExists(target) || !FileExists(source)) continue;
    std::string error;
    const auto bytes = ReadWholeFile(source, error);
    if (!bytes || !WriteFileAtomic(target, *bytes, error)) {
      problems.push_back("Cannot copy " + source + " to " + target + ": " + error);
    }
  }
  return problems;
}

}  // namespace velquor::common
