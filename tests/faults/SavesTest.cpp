// Every kind of file the program writes, saved by a process killed at random moments and on a
// disk that is full. Each child is a fork of the test: a kill leaves what a killed program
// leaves, and the full disk is a small tmpfs in a user and mount namespace of the child's own.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "TempDir.h"
#include "cli/CliSession.h"
#include "common/Files.h"
#include "common/Ini.h"
#include "link/FirmwareImages.h"

using namespace velquor;

namespace {

// A listed device of its own (not on the line), with a block of 16 slots.
void ListDevices(cli::CliSession& s, int count) {
  auto& devices = s.Bench().Table().Devices;
  devices.clear();
  for (int k = 0; k < count; ++k) {
    workbench::DeviceRecord d;
    d.Uid = rdm::Uid(0x7FF0, 0x200 + static_cast<uint32_t>(k));
    d.Label = "Fixture " + std::to_string(k);
    d.Footprint = 16;
    d.StartAddressIndex = static_cast<uint16_t>(16 * k);
    devices.push_back(d);
  }
}

// One kind of save; variants 0 and 1 write different contents. True when it says it saved.
struct SaveKind {
  const char* file;
  bool (*save)(cli::CliSession& s, const std::string& path, int variant);
};

const SaveKind kKinds[] = {
    {"devnames.lst",
     [](cli::CliSession& s, const std::string&, int v) {
       ListDevices(s, 2 + 30 * v);
       return s.Bench().Devices().Save();
     }},
    {"quendaris.show",
     [](cli::CliSession& s, const std::string& path, int v) {
       s.Core().Desk().Clear();
       for (int k = 0; k <= 6 * v; ++k) s.Core().Desk().Add("1", "1");
       return s.Core().Desk().Save(path);
     }},
    {"rig.pat",
     [](cli::CliSession& s, const std::string& path, int v) {
       ListDevices(s, 2 + 30 * v);
       return s.Bench().PatchPage().Save(path);
     }},
    {"rig.DMXLINK",
     [](cli::CliSession& s, const std::string& path, int v) {
       ListDevices(s, 2 + 30 * v);
       return s.Bench().Addressing().SavePlan(path);
     }},
    {"config.cfg",
     [](cli::CliSession&, const std::string& path, int v) {
       common::IniFile ini;
       for (int k = 0; k <= 200 * v; ++k) ini.WriteString("General", "K" + std::to_string(k), "1");
       std::string error;
       return ini.Save(path, error);
     }},
    {"app-iap.bin",
     [](cli::CliSession&, const std::string& path, int v) {
       link::FirmwareImageStore store;
       store.Put(0, std::vector<uint8_t>(1000 + 9000 * static_cast<size_t>(v), 0xB0));
       store.Put(1, std::vector<uint8_t>(5000, 0xA9));
       store.SetCount(2);
       std::string error;
       return SaveMergedFirmware(store, path, error).has_value();
     }},
};

std::vector<std::string> TemporariesIn(const std::string& dir) {
  std::vector<std::string> found;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    if (name.find(".tmp.") != std::string::npos) found.push_back(name);
  }
  return found;
}

std::unique_ptr<cli::CliSession> Session(const std::string& dir, common::Clock* clock) {
  cli::SessionOptions options;
  options.virtualLine = true;
  options.workDir = dir;
  options.programDir = dir;
  options.clock = clock;
  std::string error;
  return cli::CliSession::Create(options, nullptr, error);
}

// A whole show frame as the recorder writes it for levels (first + i) mod 256: the header
// worked by hand (the levels' sum is 2 × (0 + ... + 255), so the checksum is 0x1E).
bool WholeUntornFrame(const std::string& bytes, size_t at) {
  const auto* f = reinterpret_cast<const uint8_t*>(bytes.data() + at);
  if (f[1] != 0x1E || f[2] != 0 || f[3] != 0 || f[4] != 0x02 || f[5] != 0) return false;
  for (size_t i = 1; i < 512; ++i) {
    if (f[6 + i] != static_cast<uint8_t>(f[6] + i)) return false;
  }
  return true;
}

// Runs `body` (which never returns) in a child process, killed after a random wait.
template <class Body>
void KillWhileRunning(std::mt19937& random, useconds_t fromUs, useconds_t toUs, Body body) {
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) body();
  ::usleep(std::uniform_int_distribution<useconds_t>(fromUs, toUs)(random));
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
}

void FillUniverse(dmx::OutputUniverse& universe, int first) {
  std::array<uint8_t, 512> levels{};
  for (size_t i = 0; i < levels.size(); ++i) levels[i] = static_cast<uint8_t>(first + i);
  universe.StoreBlock(0, levels);
}

}  // namespace

TEST(SavesKilled, EveryKindIsTheOldFileOrTheNewOneAndTheNextStartRemovesTheTemporary) {
  testsupport::ScratchDir dir;
  common::ManualClock clock;
  auto session = Session(dir.path, &clock);
  ASSERT_TRUE(session);
  std::mt19937 random(20261207);
  int leftovers = 0;
  for (const SaveKind& kind : kKinds) {
    SCOPED_TRACE(kind.file);
    const std::string path = dir / kind.file;
    std::string contents[2];
    for (int v : {1, 0}) {
      ASSERT_TRUE(kind.save(*session, path, v));
      contents[v] = testsupport::ReadBytes(path);
    }
    ASSERT_NE(contents[0], contents[1]);
    for (int round = 0; round < 25; ++round) {
      KillWhileRunning(random, 500, 15000, [&] {
        for (int k = 1;; ++k) kind.save(*session, path, k % 2);
      });
      const std::string now = testsupport::ReadBytes(path);
      EXPECT_TRUE(now == contents[0] || now == contents[1]) << "round " << round;
      leftovers += static_cast<int>(TemporariesIn(dir.path).size());
      auto second = Session(dir.path, &clock);  // the next start
      EXPECT_EQ(TemporariesIn(dir.path), std::vector<std::string>{}) << "round " << round;
    }
  }
  EXPECT_GT(leftovers, 0) << "no kill came in the middle of a save";

  // A recording killed: every whole frame is one snapshot, never two halves.
  for (int round = 0; round < 10; ++round) {
    const std::string path = dir / "Live.dmx";
    KillWhileRunning(random, 2000, 30000, [&] {  // a recorder of its own: the session's thread
      dmx::OutputUniverse universe;              // is not in the child
      dmx::ShowRecorder recorder(universe);
      recorder.Start(path);
      for (int k = 0;; ++k) {
        FillUniverse(universe, k);
        recorder.RequestFrame();
      }
    });
    const std::string bytes = testsupport::ReadBytes(path);
    for (size_t at = 0; at + dmx::kShowFrameBytes <= bytes.size(); at += dmx::kShowFrameBytes) {
      ASSERT_TRUE(WholeUntornFrame(bytes, at)) << "frame " << at / dmx::kShowFrameBytes;
    }
  }
}

// The full disk is a tmpfs of 256 KiB mounted over the work directory in the child. Each save
// there fails, says so, and leaves the previous file whole; the command line exits 6 naming
// the reason; a recording stops with its whole frames.
TEST(SavesOnAFullDisk, FailAndKeepThePreviousFile) {
  testsupport::ScratchDir dir;
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(pipeFds[0]);
    std::ostringstream faults;
    auto check = [&faults](bool ok, const std::string& what) {
      if (!ok) faults << what << "\n";
    };
    const std::string uid = std::to_string(::getuid()), gid = std::to_string(::getgid());
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) ::_exit(77);
    std::ofstream("/proc/self/setgroups") << "deny";
    std::ofstream("/proc/self/uid_map") << "0 " << uid << " 1";
    std::ofstream("/proc/self/gid_map") << "0 " << gid << " 1";
    if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount("tmpfs", dir.path.c_str(), "tmpfs", 0, "size=256k") != 0) {
      ::_exit(77);
    }
    const std::string filler = dir / "filler";
    auto fillDisk = [&](size_t leave) {
      const int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const std::string block(4096, 'f');
      off_t size = 0;
      while (::write(fd, block.data(), block.size()) > 0) size += 4096;
      check(::ftruncate(
                fd, size > static_cast<off_t>(leave) ? size - static_cast<off_t>(leave) : 0) == 0,
            "filler cut");
      ::close(fd);
    };
    common::ManualClock clock;
    auto session = Session(dir.path, &clock);
    check(session != nullptr, "no session");
    if (session) {
      for (const SaveKind& kind : kKinds) {
        const std::string path = dir / kind.file;
        check(kind.save(*session, path, 0), std::string(kind.file) + ": first save failed");
        const std::string before = testsupport::ReadBytes(path);
        fillDisk(0);
        check(!kind.save(*session, path, 1), std::string(kind.file) + ": said saved");
        check(testsupport::ReadBytes(path) == before, std::string(kind.file) + ": changed");
        check(TemporariesIn(dir.path).empty(), std::string(kind.file) + ": temporary left");
        ::unlink(filler.c_str());
      }

      // velquor-cli: a label set, its save refused by the disk.
      std::ostringstream out, err;
      ::unlink((dir / "devnames.lst").c_str());
      cli::RunDiscover(*session, false, out, err);
      fillDisk(0);
      cli::SetCommand set;
      set.uid = "7FF0:00000101";
      set.label = "Stage left";
      const int exit = cli::RunSet(*session, set, out, err);
      check(exit == cli::kExitFileError, "set --label exit " + std::to_string(exit));
      check(err.str().find("No space left on device") != std::string::npos, "reason: " + err.str());
      ::unlink(filler.c_str());

      // A recording with room for a few frames: it stops by itself, whole frames kept.
      fillDisk(3 * 4096);
      auto& recorder = session->Core().Recorder();
      const std::string show = dir / "Live.dmx";
      check(recorder.Start(show), "recording not started");
      for (int k = 0; k < 200 && recorder.Recording(); ++k) {
        FillUniverse(session->Core().Universe(), k);
        recorder.RequestFrame();
        recorder.Flush();
      }
      check(!recorder.Recording() && recorder.Failure().has_value(), "recording went on");
      const std::string bytes = testsupport::ReadBytes(show);
      check(!bytes.empty() && bytes.size() % dmx::kShowFrameBytes == 0,
            "recording size " + std::to_string(bytes.size()));
      for (size_t at = 0; at + dmx::kShowFrameBytes <= bytes.size(); at += dmx::kShowFrameBytes) {
        check(WholeUntornFrame(bytes, at), "torn frame");
      }
    }
    const std::string report = faults.str();
    check(::write(pipeFds[1], report.data(), report.size()) >= 0, "");
    ::_exit(0);
  }
  ::close(pipeFds[1]);
  std::string report;
  char buffer[4096];
  for (ssize_t n; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;) report.append(buffer, n);
  ::close(pipeFds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 77) {
    GTEST_SKIP() << "the kernel refuses a user and mount namespace here: no small tmpfs to fill";
  }
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
  EXPECT_EQ(report, "");
}
