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
  // The facts found; the config, data, show and defaults directories, a space between each.
  const std::pair<ProgramFacts, const char*> cases[] = {
      {{"/usr/bin", false, true, false, "/home/ana", "", "", ""},  // the package, run by a user
       "/home/ana/.config/velquor /home/ana/.local/share/velquor /home/ana/Velquor "
       "/usr/share/velquor"},
      {{"/usr/bin", false, true, true, "/root", "", "", ""},  // by root, who may write /usr/bin
       "/root/.config/velquor /root/.local/share/velquor /root/Velquor /usr/share/velquor"},
      {{"/home/ana/.local/bin", false, true, true, "/home/ana/", "", "", ""},  // the user's prefix
       "/home/ana/.config/velquor /home/ana/.local/share/velquor /home/ana/Velquor "
       "/home/ana/.local/share/velquor"},
      {{"/usr/bin", false, true, false, "/home/ana", "/cfg/", "/data", "/home/ana/Dokumente"},
       "/cfg/velquor /data/velquor /home/ana/Dokumente/Velquor /usr/share/velquor"},
      {{"/usr/bin", false, true, false, "/home/ana", "cfg", "./data", ""},  // relative XDG: ignored
       "/home/ana/.config/velquor /home/ana/.local/share/velquor /home/ana/Velquor "
       "/usr/share/velquor"},
      // Copied where the user may not write, without its shipped files.
      {{"/opt/velquor/bin", false, false, false, "/home/ana", "", "", ""},
       "/home/ana/.config/velquor /home/ana/.local/share/velquor /home/ana/Velquor "
       "/opt/velquor/share/velquor"},
      {{"/src/build/asan/bin", false, false, true, "/home/ana", "", "", ""},  // the build tree
       "/src/build/asan/bin . . /src/build/asan/bin"},
      {{"/usr/bin", true, true, false, "/home/ana", "", "", ""},  // the portable marker beside it
       "/usr/bin . . /usr/bin"},
      {{"/usr/bin", false, true, false, "", "/cfg", "/data", ""},  // installed, no home
       "/usr/bin . . /usr/bin"},
  };
  for (const auto& [facts, expected] : cases) {
    const ProgramPaths p = ChooseProgramPaths(facts);
    EXPECT_EQ(p.configDir + " " + p.dataDir + " " + p.showDir + " " + p.defaultsDir, expected);
    EXPECT_EQ(p.installed, p.dataDir != ".") << expected;
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
  EXPECT_EQ(
      std::tuple(ReadBytes(p.configDir + "/UidList.ini"), ReadBytes(p.dataDir + "/devnone.lst")),
      std::tuple(std::string("[Columns]\r\n"), windows));
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
