#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <thread>

#include "TempDir.h"
#include "cli/CliSession.h"
#include "common/Files.h"
#include "net/NetTestSupport.h"

using namespace velquor;
using nlohmann::json;

namespace {

// `text` holds `part` (and says the whole text when it does not).
::testing::AssertionResult Has(const std::string& text, const std::string& part) {
  if (text.find(part) != std::string::npos) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "\"" << part << "\" not in:\n" << text;
}

struct Cli : ::testing::Test {
  testsupport::ScratchDir dir;  // removed after the session has ended
  common::ManualClock clock;
  std::unique_ptr<cli::CliSession> session;
  std::ostringstream out, err;

  void SetUp() override { Open(); }
  // A session on the virtual line and the manual clock, with `change` made to its options.
  void Open(const std::function<void(cli::SessionOptions&)>& change = {}) {
    std::string error;
    cli::SessionOptions options;
    options.virtualLine = true;
    options.workDir = dir.path;
    options.clock = &clock;
    if (change) change(options);
    session.reset();
    session = cli::CliSession::Create(options, nullptr, error);
    ASSERT_TRUE(session) << error;
  }
  common::LogSink& Log() { return session->Log(); }
  virtualline::Fixture Rig(uint64_t uid) { return *session->Line()->FixtureState(uid); }
  // The commands, each printing into emptied streams.
  void Clear() { out.str(""), err.str(""); }
  int Raw(cli::RawCommand c) { return Clear(), cli::RunRaw(*session, c, out, err); }
  int Set(const std::string& uid, const std::function<void(cli::SetCommand&)>& change) {
    cli::SetCommand c;
    c.uid = uid;
    change(c);
    return Clear(), cli::RunSet(*session, c, out, err);
  }
  int Batch(cli::BatchCommand c) { return Clear(), cli::RunBatch(*session, c, out, err); }
  int Discover() { return Clear(), cli::RunDiscover(*session, false, out, err); }
  int List() { return Clear(), cli::RunList(*session, out, err); }
  int Read(const std::string& uid, bool slots = false) {
    return Clear(), cli::RunRead(*session, uid, out, err, false, slots);
  }
  // Requests sent so far, and the SET requests among them.
  size_t Requests() { return Log().CountStartingWith("->Request:"); }
  size_t Sets() {
    // "->Request:CC 01 18 <to> <from> 01 00 00 0000 30 ...": the command class after the
    // sub-device.
    const std::regex set("->Request:(\\S+ ){9}30 .*");
    return std::ranges::count_if(Log().Lines(),
                                 [&](const std::string& l) { return std::regex_match(l, set); });
  }
};

}  // namespace

// Each refusal names its reason and sends nothing (or, where the device had to be asked
// first, sets nothing); each other outcome has its exit status.
TEST_F(Cli, ExitStatusAndReasonForEveryOutcome) {
  const std::string boot = dir / "iap.bin", app = dir / "app.bin";
  std::ofstream(boot, std::ios::binary) << std::string(4000, 'x');
  std::ofstream(app, std::ios::binary) << std::string(50001, 'x');
  const std::string bigBoot = dir / "big.bin", show = dir / "old.dmx";
  std::ofstream(bigBoot, std::ios::binary) << std::string(12292, 'x');
  std::ofstream(show, std::ios::binary) << std::string(3 * dmx::kShowFrameBytes, '\0');
  std::ofstream(dir / "S_old.dmx", std::ios::binary) << "kept";
  std::filesystem::create_symlink("/dev/full", dir / "full.dmx");  // a disk that is full
  auto set = [&](const std::string& uid, std::function<void(cli::SetCommand&)> change) {
    return [this, uid, change] { return Set(uid, change); };
  };
  auto raw = [&](cli::RawCommand c) { return [this, c] { return Raw(c); }; };
  auto batch = [&](cli::BatchCommand c) { return [this, c] { return Batch(c); }; };
  auto merge = [&](std::vector<std::string> images, const std::string& to) {
    return [&, images, to] { return cli::RunFirmwareMerge(images, dir / to, false, out, err); };
  };
  auto shows = [&](cli::ShowCommand c) {
    return [this, c] { return cli::RunShow(*session, c, {}, out, err); };
  };
  auto sacn = [&](cli::SacnCommand c) {
    return [this, c] { return cli::RunSacn(*session, c, {}, out, err); };
  };
  auto notAList = [&] {
    std::ofstream(dir / "devnames.lst", std::ios::binary) << "\x7F"
                                                             "ELF\x02\x01\x01\n";
    const int code = List();
    std::filesystem::remove(dir / "devnames.lst");
    return code;
  };
  const std::string spot1 = "7FF0:00000101", silent = "1234:00005678";
  const cli::ArtNetCommand foreign{"10.255.255.254", 0, "in", {}};
  const cli::PlanCommand missing{"apply", dir / "none", false};
  struct Case {
    std::function<int()> run;
    int code;
    std::string said;
    bool asksFirst = false;
  };
  const Case cases[] = {
      {[&] { return List(); }, 6, "run discover first"},
      {notAList, 6, "lists no device: it is not a device list"},
      {raw({"fetch", "DEVICE_INFO", {}, spot1, false, 0}), 2, "Unknown command class \"fetch\""},
      {raw({"get", "NOT_A_PID", {}, spot1, false, 0}), 2, "Unknown parameter \"NOT_A_PID\""},
      {raw({"get", "DEVICE_INFO", {}, "zz", false, 0}), 2, "Give the destination as --uid"},
      {raw({"set", "DEVICE_LABEL", {"4G"}, spot1, false, 0}), 2, "\"4G\" is not hexadecimal"},
      {raw({"set", "IDENTIFY_DEVICE", {"00"}, "FFFF:FFFFFFFF", false, 0}), 2, "is a broadcast UID"},
      {[&] { return Read("spot"); }, 2, "Give the device as a UID"},
      {raw({"get", "DEVICE_LABEL", {}, spot1, false, 2}), 3, "NR_SUB_DEVICE_OUT_OF_RANGE"},
      {set("7FF4:00000501", [](auto& c) { c.personality = 1; }), 3, "answered NACK", true},
      {raw({"get", "DEVICE_INFO", {}, silent, false, 0}), 4, "no answer from 0x123400005678\n"},
      {set(silent, [](auto& c) { c.address = "10"; }), 4, "no answer from 0x123400005678\n", true},
      {raw({"set", "IDENTIFY_DEVICE", {"01"}, "", true, 0}), 0, "Sent to every device"},
      {[&] { return Discover(); }, 0, "12 found, 12 devices in the list"},
      {set(spot1, [](auto& c) { c.address = "0"; }), 2, "a number from 1 to 512, not \"0\""},
      {set(spot1, [](auto& c) { c.address = "600"; }), 2, "not \"600\""},
      {set(spot1, [](auto& c) { c.panInvert = 2; }), 2, "--pan-invert takes 0 or 1, not 2"},
      {set(spot1, [](auto& c) { c.label = std::string(33, 'x'); }), 2, "a device keeps at most 32"},
      {set("7FF0:FFFFFFFF", [](auto& c) { c.address = "5"; }), 2, "is a broadcast UID"},
      {set(spot1, [](auto& c) { c.personality = 9; }), 2, "has personalities 1 to 3, not 9", true},
      {set("7FF0:00000102", [](auto& c) { c.address = "101"; }), 2,
       "(Spot 2) at 101-116 overlaps 0x7FF200000301", true},
      {batch({0, 16, 1, 4, std::nullopt, false}), 2, "Start address 1..511"},
      {batch({1, 16, 3, 2, std::nullopt, false}), 2, "--first 3 comes after --last 2"},
      {batch({1, 16, 1, 4, std::nullopt, false}), 2, "(Hazer) at 17-18 overlaps 0x7FF000000102",
       true},
      {[&] { return cli::RunRadio(*session, 8, out, err); }, 2, "The radio channel is 1 to 7"},
      {[&] { return cli::RunArtNet(*session, foreign, {}, out, err); }, 7,
       "not an IPv4 address of"},
      {sacn({"10.255.255.254", 1, "in", 100, {}}), 7, "not an IPv4 address of"},
      {sacn({"127.0.0.1", 64000, "in", 100, {}}), 2, "universe is 1 to 63999, not 64000"},
      {sacn({"127.0.0.1", 1, "out", 201, {}}), 2, "priority is 0 to 200, not 201"},
      {[&] { return cli::RunPlan(*session, missing, out, err); }, 6, "Cannot read "},
      {merge({boot, app}, "app-iap.bin"), 0, "62288 bytes (the application at offset 12288)"},
      {merge({boot, dir / "none.bin"}, "x.bin"), 6, "nothing written"},
      {merge({boot, app}, "app-iap.bin"), 2, "app-iap.bin exists: add --force"},
      {merge({boot, app}, "app.bin"), 2, "app.bin is also an input"},
      {merge({bigBoot, app}, "x.bin"), 2, "12292 bytes, more than 12288"},
      {merge({boot}, "x.bin"), 2, "no application image"},
      {shows({"record", "old", {}, false, 0, 0, false}), 2, "old.dmx exists: add --force"},
      {shows({"copy", "old", {}, false, 60, 10, false}), 2, "Nothing to copy"},
      {shows({"copy", "old", {}, false, 0, 2, false}), 2, "S_old.dmx exists: add --force"},
      {shows({"record", "full", 1.0, false, 0, 0, true}), 6, "No space left on device"},
  };
  for (const Case& c : cases) {
    Clear();
    const size_t requests = Requests(), sets = Sets();
    EXPECT_EQ(c.run(), c.code) << c.said;
    EXPECT_TRUE(Has(out.str() + err.str(), c.said));
    if (c.code != 2) continue;
    EXPECT_EQ(Sets(), sets) << c.said;
    if (!c.asksFirst) {
      EXPECT_EQ(Requests(), requests) << c.said << ": nothing sent";
    }
  }
  EXPECT_TRUE(Rig(0x7FF000000103ULL).identify) << "the broadcast reached every fixture";
  EXPECT_FALSE(std::filesystem::exists(dir / "x.bin"));
  EXPECT_EQ(std::filesystem::file_size(show), 3 * dmx::kShowFrameBytes);
  EXPECT_EQ(std::filesystem::file_size(dir / "S_old.dmx"), 4u);

  // A list that cannot be saved is a failure, not a success with a log line.
  std::filesystem::remove(dir / "devnames.lst");
  std::filesystem::create_directory(dir / "devnames.lst");
  EXPECT_EQ(Discover(), cli::kExitFileError);
  EXPECT_TRUE(Has(err.str(), "Unable to write "));
}

TEST_F(Cli, RawRequestsGoOutAsComposedAndTheirAnswersArePrinted) {
  // The request's bytes are the engine's to test; the answer says what was asked, and of whom.
  EXPECT_EQ(Raw({"get", "DEVICE_INFO", {}, "7FF0:00000101", false, 0}), 0);
  EXPECT_EQ(out.str().rfind("ACK from 0x7FF000000101, 19 data bytes: 01 00 ", 0), 0u) << out.str();
  EXPECT_EQ(Raw({"set", "0x0082", {"48 61", "7a65"}, "7FF000000101", false, 0}), 0);
  EXPECT_EQ(Rig(0x7FF000000101ULL).label, "Haze");
  EXPECT_EQ(Raw({"get", "device_label", {}, "0x7FF000000101", false, 0}), 0);
  EXPECT_TRUE(Has(out.str(), "48 61 7A 65"));

  EXPECT_EQ(cli::RunRig(*session, out, err), 0);
  EXPECT_TRUE(Has(out.str(), "7FF4:00000501  Radio RX"));
}

TEST_F(Cli, SetChangesOnlyWhatIsGivenAndReadAndListShowWhatTheFixturesHave) {
  ASSERT_EQ(Discover(), 0);
  ASSERT_EQ(Set("7FF0:00000102",
                [](auto& c) {
                  c.address = "300";
                  c.label = "DSL Spot";
                  c.personality = 2;
                  c.tiltInvert = 1;
                }),
            0)
      << err.str();
  EXPECT_EQ(Rig(0x7FF000000102ULL).personality, 2);
  EXPECT_EQ(Rig(0x7FF000000101ULL).startAddress, 1) << "nobody else";
  EXPECT_TRUE(Has(testsupport::ReadBytes(dir / "devnames.lst"), "7FF000000102=DSL Spot\r\n"));

  ASSERT_EQ(Read("7ff000000102"), 0);
  // What is not given (pan invert, on) stays as the device has it.
  for (const char* line :
       {"UID:             0x7FF000000102\n", "Device label:    DSL Spot\n",
        "DMX address:     300\n", "Pan invert:      on\n", "Tilt invert:     on\n"}) {
    EXPECT_TRUE(Has(out.str(), line));
  }
  ASSERT_EQ(Read("7FF4:00000501"), 0);
  EXPECT_TRUE(Has(out.str(), "DMX address:     - (no DMX footprint)\n")) << "not 512";
  EXPECT_EQ(Read("1234:00005678"), cli::kExitNoAnswer);
  EXPECT_EQ(out.str(), "") << "no made-up values for a silent device";

  // The list is read again and each device asked: one that is silent now shows no values.
  std::ofstream(dir / "devnames.lst", std::ios::app) << "123400005678=Gone\r\n";
  EXPECT_EQ(List(), cli::kExitNoAnswer);
  EXPECT_EQ(std::ranges::count(out.str(), '\n'), 14) << "a header and 13 rows";
  EXPECT_TRUE(Has(out.str(), "0x123400005678  -    -    Gone"));
  EXPECT_TRUE(Has(out.str(), "0x7FF000000102  300"));

  // The next command runs as its own process would: the list from devnames.lst only, a new
  // address checked against what the rig reports.
  Open();
  EXPECT_EQ(Set("7FF000000101", [](auto& c) { c.address = "101"; }), cli::kExitUsage);
  EXPECT_TRUE(Has(err.str(), "overlaps 0x7FF200000301 (Dimmer Pack A) at 101-106"));
  EXPECT_EQ(Rig(0x7FF000000101ULL).startAddress, 1);
}

TEST_F(Cli, BatchSaysWhatItWillDoAndWithAllowOverlapDoesIt) {
  ASSERT_EQ(Discover(), 0);
  EXPECT_EQ(Batch({1, 16, 1, 4, std::nullopt, true}), 0) << err.str();
  EXPECT_TRUE(Has(out.str(), "Fixture 2 (0x7FF300000401): address 17\n"));
  EXPECT_TRUE(Has(err.str(), "Warning: "));
  EXPECT_EQ(std::tuple(Rig(0x7FF300000401ULL).startAddress, Rig(0x7FF200000302ULL).startAddress),
            std::tuple(17, 33));
}

TEST_F(Cli, JsonDocumentsForScripts) {
  Open([](auto& o) { o.json = true; });
  for (int run = 0; run < 2; ++run) {  // the second finds them again, as devices it checks first
    ASSERT_EQ(Discover(), 0);
    EXPECT_EQ(json::parse(out.str())["found"], 12) << "run " << run;
  }
  ASSERT_EQ(Read("7FF000000101"), 0);
  const json read = json::parse(out.str());
  EXPECT_EQ(std::tuple(read["uid"], read["label"], read["address"], read["deviceHours"]),
            std::tuple("0x7FF000000101", "Spot 1", 1, 1520));
  ASSERT_EQ(List(), 0);
  const json list = json::parse(out.str());
  ASSERT_EQ(list["devices"].size(), 12u);
  for (const auto& d : list["devices"]) {
    EXPECT_EQ(d["address"].is_null(), d["uid"] == "0x7FF400000501") << d.dump();
  }
  EXPECT_EQ(Raw({"get", "DEVICE_LABEL", {}, "7FF0:00000101", false, 2}), cli::kExitNack);
  EXPECT_EQ(json::parse(out.str())["nackReason"], "NR_SUB_DEVICE_OUT_OF_RANGE");
  out.str("");
  ASSERT_EQ(cli::RunRadio(*session, std::nullopt, out, err), 0);
  EXPECT_EQ(json::parse(out.str())["channel"], 3) << "the radio of the default rig";
  ASSERT_EQ(cli::RunRadio(*session, 6, out, err), 0);
  EXPECT_EQ(Rig(0x7FF400000501ULL).radioChannel, 6);
}

// read --slots: only what came back (a refused description stays null), and a device text
// that is not UTF-8 does not end the program.
TEST_F(Cli, SlotsAsTheDeviceAnsweredThem) {
  Open([](auto& o) { o.json = true; });
  ASSERT_EQ(Read("7FF1:00000204", true), 0);
  json j = json::parse(out.str());
  EXPECT_EQ(std::tuple(j["personality"], j["personalityDescription"], j["address"]),
            std::tuple(2, "RGBW Dim Strobe", 89));
  ASSERT_EQ(j["channels"].size(), 8u);
  EXPECT_EQ(std::tuple(j["channels"][5]["address"], j["channels"][5]["description"],
                       j["channels"][5]["name"]),
            std::tuple(94, nullptr, "Strobe"));
  EXPECT_EQ(j["channels"][4]["default"], 255);
  ASSERT_EQ(Read("7FF3:00000401", true), 0);
  EXPECT_TRUE(json::parse(out.str())["channels"].is_null()) << "the hazer lists no SLOT_INFO";
  EXPECT_EQ(Read("7FF0:00000999", true), cli::kExitNoAnswer);

  ASSERT_EQ(Raw({"set", "DEVICE_LABEL", {"B0", "A1"}, "7FF0:00000101", false, 0}), 0);
  ASSERT_EQ(Read("7FF0:00000101"), 0);
  EXPECT_EQ(json::parse(out.str())["label"], "\uFFFD\uFFFD");
}

TEST(CliText, ProgressOnOneTerminalLineAndColumnsByDisplayWidth) {
  std::ostringstream tty, pipe;
  cli::ProgressLine onTty(tty, true), onPipe(pipe, false);
  for (auto* p : {&onTty, &onPipe}) {
    p->Show({true, 0, 1, 0.05});
    p->Show({true, 1, 7, 0.40});
    p->Show({true, 1, 9, 0.50});
    p->Clear();  // a log line is about to be printed
    p->Show({false, 1, 12, 0.75});
  }
  EXPECT_EQ(tty.str(),
            "\rDiscovering: 0 found, 1 branches asked, 0.1 s\x1b[K"
            "\rDiscovering: 1 found, 7 branches asked, 0.4 s\x1b[K"
            "\rDiscovering: 1 found, 9 branches asked, 0.5 s\x1b[K"
            "\r\x1b[K"
            "\rDiscovery ended: 1 found, 12 branches asked, 0.8 s\x1b[K\n");
  EXPECT_EQ(pipe.str(),
            "Discovering: 1 found, 7 branches asked, 0.4 s\n"
            "Discovery ended: 1 found, 12 branches asked, 0.8 s\n");

  // The label column is 18 wide: "灯一" (six bytes) takes four columns, as "Lamp" does.
  workbench::DeviceListView view;
  view.rows.resize(2);
  for (auto& row : view.rows) row.fill("x");
  view.rows[0][4] = "灯一";
  view.rows[1][4] = "Lamp";
  const std::string text = cli::FormatDeviceList(view), gap(14, ' ');
  EXPECT_TRUE(Has(text, "灯一" + gap + "x"));
  EXPECT_TRUE(Has(text, "Lamp" + gap + "x"));
}

TEST(CliSessionCreate, AMissingRigFileOrBoxIsSaid) {
  std::string error;
  int code = 0;
  cli::SessionOptions options;  // the real box, which a test machine has not
  EXPECT_FALSE(cli::CliSession::Create(options, nullptr, error, &code));
  EXPECT_EQ(code, cli::kExitNoBox);
  EXPECT_TRUE(error == "interface box not found (04b4:0f1f)" ||
              error.starts_with("The interface box") || error.starts_with("Error initializing"))
      << error;
  options.virtualLine = true;
  options.rigFile = "/nonexistent/rig.json";
  EXPECT_FALSE(cli::CliSession::Create(options, nullptr, error, &code));
  EXPECT_TRUE(code == cli::kExitUsage && Has(error, "cannot read rig file /nonexistent/rig.json"));
}

TEST_F(Cli, ScenesListPlayAndStop) {
  // Two scenes worked by hand: slot 1 at 200, then at 0; fade 100 ms, hold 100 ms.
  std::string file;
  for (int k : {0, 1}) {
    file += std::string{static_cast<char>(k + 1), '\x1E', '\0', '\x64', '\0', '\x64'};
    file += (k == 0 ? '\xC8' : '\0') + std::string(511, '\0');
  }
  std::ofstream(dir / "quendaris.show", std::ios::binary) << file;
  std::atomic<bool> interrupted{false};
  ASSERT_EQ(cli::RunScenes(*session, "list", std::nullopt, interrupted, out, err), 0);
  EXPECT_EQ(out.str(),
            "No.1     fade   100 ms  hold   100 ms\nNo.2     fade   100 ms  hold   100 ms\n");
  ASSERT_EQ(cli::RunScenes(*session, "play", 2.0, interrupted, out, err), 0);
  EXPECT_GE(Log().CountOf("Running 2"), 1u) << "the sequence ran on the engine tick";
  EXPECT_GT(session->Line()->Stats().dmxFrames, 0u) << "its levels went out on the line";
  session->Core().Universe().Store(5, 9);
  ASSERT_EQ(cli::RunScenes(*session, "stop", std::nullopt, interrupted, out, err), 0);
  EXPECT_EQ(session->Line()->LineDmx()[5], 0) << "every slot at 0";
}

TEST_F(Cli, ShowsRecordPlayAndCopyHeadless) {
  std::atomic<bool> interrupted{false};
  auto show = [&](const char* action, const char* file, std::optional<double> seconds, int to) {
    return cli::RunShow(*session, {action, file, seconds, false, 0, to}, interrupted, out, err);
  };
  // On the real clock from here on, as a user runs it: a manual clock runs the tick flat out,
  // and a recording's frames asked for faster than the disk takes them fail the command.
  Open([](auto& o) { o.clock = nullptr; });
  ASSERT_EQ(show("record", "T2", 0.2, 0), 0) << err.str();
  EXPECT_GE(std::filesystem::file_size(dir / "T2.dmx"), 518u);
  std::string frames;
  for (char k : {'\0', '\1', '\2', '\3'}) frames += k + std::string(517, '\0');
  std::ofstream(dir / "T2.dmx", std::ios::binary) << frames;
  ASSERT_EQ(show("play", "T2.dmx", {}, 0), 0) << err.str();
  // The tick may begin the show again before the command sees its end.
  EXPECT_GE(Log().CountStartingWith("Loop Playback file length:"), 1u) << "through, then done";
  ASSERT_EQ(show("copy", "T2", {}, 2), 0) << err.str();
  EXPECT_EQ(std::filesystem::file_size(dir / "S_T2.dmx"), 2u * 518);
  EXPECT_EQ(show("play", "nothing", {}, 0), cli::kExitUsage);
  // A loop ends when its time is up.
  EXPECT_EQ(cli::RunShow(*session, {"play", "T2", 0.2, true, 0, 0}, interrupted, out, err), 0);
}

// The headless node on loopback with the real clock: the engine tick runs as it does for a
// user, so the box's frame is waited for (bounded), never assumed.
TEST_F(Cli, ANodeForConsolesAnswersPollsAndPutsArtDmxOnTheLine) {
  if (testsupport::LoopbackIndex(net::ListHostAddresses()) < 0) GTEST_SKIP() << "no 127.0.0.1";
  const uint16_t port = testsupport::FreeUdpPort();
  Open([&](auto& o) {
    o.clock = nullptr;
    o.artNet.port = port;
  });
  std::atomic<bool> interrupted{false};
  int rc = -1;
  std::thread node([&] {
    rc = cli::RunArtNet(*session, {"127.0.0.1", 291, "in", std::nullopt}, interrupted, out, err);
  });
  testsupport::UdpPeer console(testsupport::kConsoleAddress, port, port);
  std::optional<std::vector<uint8_t>> reply;
  for (int i = 0; i < 100 && !reply; ++i) {  // until the node listens
    console.Send(testsupport::ArtPoll());
    reply = console.Receive(100);
  }
  ASSERT_TRUE(reply) << "the node never answered a poll";
  console.Send(testsupport::ArtDmx(291, 1, {77, 78}));
  for (int i = 0; i < 500 && session->Line()->LineDmx()[1] != 78; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(session->Line()->LineDmx()[0], 77) << "slots 1 and 2 never reached the box";
  EXPECT_EQ(session->Line()->LineDmx()[1], 78);

  interrupted = true;
  node.join();
  EXPECT_EQ(rc, cli::kExitOk) << err.str();
  for (const char* said : {"on 127.0.0.1:", "port-address 291 (Net 1, Sub-Net 2, Universe 3)",
                           ", 1 ArtDmx taken, 0 dropped;"}) {
    EXPECT_TRUE(Has(out.str(), said));
  }
}

TEST_F(Cli, PlansAreSavedAndAppliedByUidWhateverTheListsOrder) {
  ASSERT_EQ(Discover(), 0);
  const std::string pat = dir / "rig.pat", plan = dir / "rig.DMXLINK";
  EXPECT_EQ(cli::RunPlan(*session, {"save", pat, false}, out, err), cli::kExitOk) << err.str();
  EXPECT_EQ(cli::RunPlan(*session, {"save", plan, false}, out, err), cli::kExitOk);

  // The rig is moved around and the list reordered; each plan puts each fixture back.
  for (const std::string& file : {pat, plan}) {
    EXPECT_EQ(Raw({"set", "DMX_START_ADDRESS", {"01 2C"}, "7FF000000101", false, 0}), 0);
    EXPECT_EQ(Raw({"set", "DMX_START_ADDRESS", {"01 90"}, "7FF100000203", false, 0}), 0);
    session->Run([&] { session->Bench().List().SortByStartAddress(); });
    Clear();
    EXPECT_EQ(cli::RunPlan(*session, {"apply", file, false}, out, err), cli::kExitOk) << err.str();
    EXPECT_EQ(Rig(0x7FF000000101ULL).startAddress, 1) << file;
    EXPECT_EQ(Rig(0x7FF100000203ULL).startAddress, 81) << file;
    EXPECT_TRUE(Has(out.str(), "0x7FF000000101: address 1\n"));
    EXPECT_TRUE(Has(out.str(), "The fixtures now report:"));
  }

  // A plan that names a fixture not on the line and puts two on top of each other.
  const std::vector<workbench::PlanRecord> bad{{rdm::Uid(0x123400000001ULL), 0, 4, 0},
                                               {rdm::Uid(0x7FF100000201ULL), 0, 8, 0}};
  std::ofstream(dir / "bad.pat", std::ios::binary) << workbench::EncodePatchFile(bad);
  err.str("");
  const size_t sets = Sets();
  EXPECT_EQ(cli::RunPlan(*session, {"apply", dir / "bad.pat", false}, out, err), cli::kExitUsage);
  EXPECT_TRUE(Has(err.str(), "0x123400000001 is in the plan but not on the line: skipped"));
  EXPECT_TRUE(Has(err.str(), "(Wash Par 1) at 1-8 overlaps 0x7FF000000101 (Spot 1) at 1-16"));
  EXPECT_EQ(Sets(), sets) << "nothing sent";
  EXPECT_EQ(cli::RunPlan(*session, {"apply", dir / "bad.pat", true}, out, err), cli::kExitNoAnswer)
      << "sent, and the missing fixture said";
  EXPECT_EQ(Rig(0x7FF100000201ULL).startAddress, 1);
}

// A list a Chinese Windows install wrote (GB18030, CRLF) naming a fixture that no longer
// answers: the report is UTF-8, sorted by address, quoted where a label needs it, and the
// silent fixture's cells stay empty. The file's kind is its extension, checked before anything.
TEST_F(Cli, PatchReportFromWhatTheFixturesAnswerInEveryFormat) {
  testsupport::WriteBytes(dir / "devnames.lst",
                          "7FF100000201=Wash, \"Par\" 1\r\n7FF000000102=\xCE\xE8\xCC\xA8 2\r\n"
                          "7FF000000101=Spot 1\r\n123400005678=Gone\r\n");
  ASSERT_EQ(Set("7FF0:00000102",
                [](auto& c) {
                  c.address = "9";
                  c.allowOverlap = true;
                }),
            0)
      << err.str();
  // The rows' layout is the report's; here, that each row holds what its fixture answered.
  Clear();
  EXPECT_EQ(cli::RunListCsv(*session, out, err), cli::kExitNoAnswer);
  const std::string csv = out.str();
  EXPECT_TRUE(Has(csv, "\r\n0x7FF000000102,舞台 2,Northlight Works,Orbit 350 Spot,Standard,9,16,"));
  EXPECT_TRUE(Has(csv, "ColorPar 18,RGBW Dim Strobe,65,8,72,25-64,\r\n0x123400005678,Gone,,,"));
  EXPECT_EQ(err.str(), "1 of 4 listed devices did not answer\n");

  auto report = [&](const std::string& name, const std::string& language = "ENU") {
    out.str("");
    return cli::RunReport(*session, {dir / name, language, false}, out, err);
  };
  EXPECT_EQ(report("patch.csv"), cli::kExitNoAnswer);
  EXPECT_EQ(testsupport::ReadBytes(dir / "patch.csv"), csv);
  EXPECT_EQ(out.str(), dir / "patch.csv: 4 fixtures, 2 overlapping, 480 free addresses\n");
  EXPECT_EQ(report("patch.HTML", "CHS"), cli::kExitNoAnswer);
  EXPECT_TRUE(Has(testsupport::ReadBytes(dir / "patch.HTML"), "空闲 25–64 (40)"));
  EXPECT_EQ(report("patch.pdf"), cli::kExitNoAnswer);
  EXPECT_EQ(testsupport::ReadBytes(dir / "patch.pdf").substr(0, 5), "%PDF-");
  if (std::system("pdftotext -v >/dev/null 2>&1") == 0) {
    ASSERT_EQ(std::system(("pdftotext " + dir / "patch.pdf").c_str()), 0);
    const std::string text = testsupport::ReadBytes(dir / "patch.txt");
    for (const char* part :
         {"Wash, \"Par\" 1", "舞台 2", "Free 25–64 (40)", "Overlaps 0x7FF000000101"}) {
      EXPECT_TRUE(Has(text, part));
    }
  }
  EXPECT_EQ(report("missing/patch.csv"), cli::kExitFileError);

  // Refused before the line is opened: a kind the report does not know, a file already there.
  for (const auto& [file, force, refused, says] :
       {std::tuple(std::string("patch.txt"), false, true, "FILE.pdf, FILE.html (.htm) or FILE.csv"),
        std::tuple(std::string("patch"), true, true, "FILE.pdf"),
        std::tuple(dir / "patch.csv", false, true, "exists: add --force"),
        std::tuple(dir / "patch.csv", true, false, "")}) {
    err.str("");
    EXPECT_EQ(cli::ReportTargetRefused({file, "ENU", force}, err), refused) << file;
    EXPECT_TRUE(Has(err.str(), says));
  }
}

TEST_F(Cli, SensorsPrintOnlyTheValuesThatCameWithTheExitStatusOfTheWorst) {
  const std::atomic<bool> stop{false};
  auto sensors = [&](const std::string& uid) {
    out.str("");
    return cli::RunSensors(*session, uid, 0, stop, out, err);
  };
  EXPECT_EQ(sensors("7FF4:00000501"), cli::kExitOk) << "a fixture without sensors";
  EXPECT_TRUE(Has(out.str(), ": 0 sensors"));
  EXPECT_EQ(sensors("7FF0"), cli::kExitUsage);
  session->Line()->InjectFault(0x7FF000000102, {virtualline::FaultKind::NoAnswer});
  EXPECT_EQ(sensors("7FF0:00000102"), cli::kExitNoAnswer);
  // The humidity sensor NACKs; the others are shown, each value only as far as kept.
  Open([](cli::SessionOptions& o) { o.json = true; });
  EXPECT_EQ(sensors("7FF0:00000101"), cli::kExitNack);
  const json j = json::parse(out.str());
  ASSERT_EQ(j["sensors"].size(), 4u);
  EXPECT_EQ(j["sensors"][0]["value"]["present"], 95);
  EXPECT_EQ(std::tuple(j["sensors"][2]["unit"], j["sensors"][2]["prefix"]),
            std::tuple("V AC RMS", "d"));
  EXPECT_FALSE(j["sensors"][1]["value"].contains("recorded")) << "the fan keeps none";
  EXPECT_TRUE(j["sensors"][3]["value"].is_null());
  EXPECT_EQ(j["sensors"][3]["failure"], "NACK_REASON NR_DATA_OUT_OF_RANGE");
}
