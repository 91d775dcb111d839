#pragma once
// Where the program keeps its files. Installed (a package, `cmake --install`) it writes only
// into the user's directories, seeded from the installed defaults at first start. Run from a
// build tree or a portable folder it keeps the old layout: config.cfg, the language files and
// UidList.ini beside the program, everything else in the working directory.

#include <string>
#include <vector>

namespace velquor::common {

// A file of this name beside the program makes it portable wherever it lies.
inline constexpr const char* kPortableMarker = "velquor.portable";

// What the choice looks at; ProgramFactsNow gathers it for the running program.
struct ProgramFacts {
  std::string programDir;          // the directory of the program file
  bool portableMarker = false;     // kPortableMarker beside the program
  bool installedDefaults = false;  // programDir/../share/velquor exists
  bool programDirWritable = false;
  std::string home;           // $HOME, else the password database's
  std::string xdgConfigHome;  // as the environment has them (may be empty or relative)
  std::string xdgDataHome;
  std::string documentsDir;  // XDG_DOCUMENTS_DIR of user-dirs.dirs, "" when it names none
};

struct ProgramPaths {
  bool installed = false;
  std::string configDir;    // config.cfg, UidList.ini (and language files of the user's own)
  std::string dataDir;      // devnames.lst, devnone.lst, quendaris.show
  std::string showDir;      // shows (.dmx); where the window's file choosers open (plans)
  std::string defaultsDir;  // the shipped files: language files, UidList.ini, devnone.lst
};

ProgramPaths ChooseProgramPaths(const ProgramFacts& facts);
ProgramFacts ProgramFactsNow();

// XDG_DOCUMENTS_DIR in the text of a user-dirs.dirs file, $HOME expanded; "" when the file
// names none.
std::string DocumentsDirIn(const std::string& userDirsText, const std::string& home);

// Installed only: makes the user's directories and copies each shipped default the user has
// not got (UidList.ini into the config directory, devnone.lst into the data directory); a
// file already there, such as one copied from a Windows install, is left as it is. Returns a
// line for everything that could not be done.
std::vector<std::string> PrepareUserDirectories(const ProgramPaths& paths);

}  // namespace velquor::common
