#include <gtest/gtest.h>

#include <filesystem>

#include "TempDir.h"
#include "common/ProgramPaths.h"

using namespace velquor::common;
using velquor::testsupport::ReadBytes;
using velquor::testsupport::ScratchDir;
using velquor::testsupport::WriteBytes;

// Where each kind of file goes, for the ways the program is found on a disk.
TEST(ProgramPaths, InstalledWritesToTheUsersDirectoriesPortableKeepsTheOldLayout) {
  struct Case {
    const char* what;
    ProgramFacts facts;
    // config, data, shows, defaults
    const char *config, *data, *shows, *defaults;
  };
  const Case cases[] = {
      {"the package, run by a user",
       {"/usr/bin", false, true, false, "/home/ana", "", "", ""},
       "/home/ana/.config/velquor",
       "/home/ana/.local/share/velquor",
       "/home/ana/Velquor",
       "/usr/share/velquor"},
      {"the package, run by root (who may write /usr/bin)",
       {"/usr/bin", false, true, true, "/root", "", "", ""},
       "/root/.config/velquor",
       "/root/.local/share/velquor",
       "/root/Velquor",
       "/usr/share/velquor"},
      {"installed under the user's own prefix",
       {"/home/ana/.local/bin", false, true, true, "/home/ana/", "", "", ""},
       "/home/ana/.config/velquor",
       "/home/ana/.local/share/velquor",
       "/home/ana/Velquor",
       "/home/ana/.local/share/velquor"},
      {"XDG directories and a documents folder",
       {"/usr/bin", false, true, false, "/home/ana", "/cfg/", "/data", "/home/ana/Dokumente"},
       "/cfg/velquor",
       "/data/velquor",
       "/home/ana/Dokumente/Velquor",
       "/usr/share/velquor"},
      {"relative XDG directories are ignored",
       {"/usr/bin", false, true, false, "/home/ana", "cfg", "./data", ""},
       "/home/ana/.config/velquor",
       "/home/ana/.local/share/velquor",
       "/home/ana/Velquor",
       "/usr/share/velquor"},
      {"copied where the user may not write, without its shipped files",
       {"/opt/velquor/bin", false, false, false, "/home/ana", "", "", ""},
       "/home/ana/.config/velquor",
       "/home/ana/.local/share/velquor",
       "/home/ana/Velquor",
       "/opt/velquor/share/velquor"},
      {"the build tree",
       {"/src/build/asan/bin", false, false, true, "/home/ana", "", "", ""},
       "/src/build/asan/bin",
       ".",
       ".",
       "/src/build/asan/bin"},
      {"the marker beside an installed program",
       {"/usr/bin", true, true, false, "/home/ana", "", "", ""},
       "/usr/bin",
       ".",
       ".",
       "/usr/bin"},
      {"installed but no home to write into",
       {"/usr/bin", false, true, false, "", "/cfg", "/data", ""},
       "/usr/bin",
       ".",
       ".",
       "/usr/bin"},
  };
  for (const Case& c : cases) {
    const ProgramPaths p = ChooseProgramPaths(c.facts);
    EXPECT_EQ(p.installed, std::string(c.data) != ".") << c.what;
    EXPECT_EQ(p.configDir, c.config) << c.what;
    EXPECT_EQ(p.dataDir, c.data) << c.what;
    EXPECT_EQ(p.showDir, c.shows) << c.what;
    EXPECT_EQ(p.defaultsDir, c.defaults) << c.what;
  }
}

TEST(ProgramPaths, TheDocumentsFolderOfUserDirs) {
  const std::pair<const char*, const char*> cases[] = {
      {"# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
       "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n",
       "/home/ana/Dokumente"},
      {"XDG_DOCUMENTS_DIR=\"/srv/docs/\"\r\n", "/srv/docs"},
      {"XDG_DOCUMENTS_DIR=\"$HOME/\"\n", ""},  // the user keeps no documents folder
      {"XDG_DOCUMENTS_DIR=\"docs\"\n", ""},
      {"XDG_DOCUMENTS_DIR=\"$HOME/Documents\n", ""},  // unterminated
      {"#XDG_DOCUMENTS_DIR=\"$HOME/Documents\"\n", ""},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(DocumentsDirIn(text, "/home/ana"), expected) << text;
  }
}

TEST(ProgramPaths, FirstStartSeedsWhatIsMissingAndKeepsWhatTheUserBrought) {
  ScratchDir root;
  ProgramPaths p;
  p.installed = true;
  p.configDir = root / "home/.config/velquor";
  p.dataDir = root / "home/.local/share/velquor";
  p.showDir = root / "home/Velquor";
  p.defaultsDir = root / "usr/share/velquor";
  std::filesystem::create_directories(p.defaultsDir);
  WriteBytes(p.defaultsDir + "/UidList.ini", "[Columns]\r\n");
  WriteBytes(p.defaultsDir + "/devnone.lst", "shipped\r\n");
  // devnone.lst copied from a Chinese Windows install: GB18030, CR LF.
  std::filesystem::create_directories(p.dataDir);
  const std::string windows = "[DeviceNameList]\r\n7FF000000101=\xB5\xC6\r\n";
  WriteBytes(p.dataDir + "/devnone.lst", windows);

  EXPECT_TRUE(PrepareUserDirectories(p).empty());
  EXPECT_EQ(ReadBytes(p.configDir + "/UidList.ini"), "[Columns]\r\n");
  EXPECT_EQ(ReadBytes(p.dataDir + "/devnone.lst"), windows);
  EXPECT_TRUE(std::filesystem::is_directory(p.showDir));

  // Portable: nothing is made anywhere.
  ProgramPaths portable = p;
  portable.installed = false;
  portable.showDir = root / "elsewhere";
  EXPECT_TRUE(PrepareUserDirectories(portable).empty());
  EXPECT_FALSE(std::filesystem::exists(portable.showDir));

  // A home that cannot be written is said, not hidden.
  ProgramPaths blocked = p;
  WriteBytes(root / "file", "");
  blocked.configDir = root / "file/velquor";
  blocked.showDir = root / "home/Velquor";
  const auto problems = PrepareUserDirectories(blocked);
  ASSERT_FALSE(problems.empty());
  EXPECT_NE(problems[0].find(blocked.configDir), std::string::npos) << problems[0];
}
