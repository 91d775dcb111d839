#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "TempDir.h"
#include "cli/CliSession.h"
#include "common/Files.h"
#include "net/NetTestSupport.h"

using namespace velquor;

namespace {

struct Cli : ::testing::Test {
  common::ManualClock clock;
  common::LogSink& Log() { return session->Log(); }
  std::unique_ptr<cli::CliSession> session;
  std::ostringstream out, err;
  std::string dir;

  void SetUp() override {
    dir = testsupport::MakeTempDir();
    std::string error;
    cli::SessionOptions options;
    options.virtualLine = true;
    options.workDir = dir;
    options.clock = &clock;
    session = cli::CliSession::Create(options, nullptr, error);
    ASSERT_TRUE(session) << error;
  }
  void TearDown() override {
    session.reset();
    std::filesystem::remove_all(dir);
  }
  int Raw(cli::RawCommand c) { return cli::RunRaw(*session, c, out, err); }
};

}  // namespace

TEST_F(Cli, GetDeviceInfoPrintsTheExchangeAndASummary) {
  EXPECT_EQ(Raw({"get", "DEVICE_INFO", {}, "7FF0:00000101", false, 0}), 0);
  EXPECT_EQ(
      Log().CountOf("->Request:CC 01 18 7FF000000101 888800000001 01 00 00 0000 20 0060 00 03E8"),
      1u);
  EXPECT_EQ(Log().CountStartingWith("Response:CC 01 2B "), 1u);
  EXPECT_EQ(out.str().rfind("ACK from 0x7FF000000101, 19 data bytes: 01 00 ", 0), 0u) << out.str();
}

TEST_F(Cli, SetWithDataBytesThenReadBack) {
  EXPECT_EQ(Raw({"set", "0x0082", {"48 61", "7a65"}, "7FF000000101", false, 0}), 0);
  EXPECT_EQ(session->Line()->FixtureState(0x7FF000000101ULL)->label, "Haze");
  out.str("");
  EXPECT_EQ(Raw({"get", "device_label", {}, "0x7FF000000101", false, 0}), 0);
  EXPECT_NE(out.str().find("48 61 7A 65"), std::string::npos);
}

TEST_F(Cli, NackNamesItsReason) {
  EXPECT_EQ(Raw({"get", "DEVICE_LABEL", {}, "7FF0:00000101", false, 2}), cli::kExitNack);
  EXPECT_NE(out.str().find("NACK_REASON NR_SUB_DEVICE_OUT_OF_RANGE"), std::string::npos);
}

TEST_F(Cli, SilentDestinationSaysSoAndABroadcastIsSent) {
  EXPECT_EQ(Raw({"get", "DEVICE_INFO", {}, "1234:00005678", false, 0}), cli::kExitNoAnswer);
  EXPECT_EQ(out.str(), "no answer from 0x123400005678\n");
  EXPECT_EQ(Log().CountStartingWith("->Request:"), 2u);
  out.str("");
  EXPECT_EQ(Raw({"set", "IDENTIFY_DEVICE", {"01"}, "", true, 0}), cli::kExitOk);
  EXPECT_EQ(out.str(), "Sent to every device (a broadcast gets no answer).\n");
  EXPECT_TRUE(session->Line()->FixtureState(0x7FF000000103ULL)->identify);
  EXPECT_EQ(Raw({"set", "IDENTIFY_DEVICE", {"00"}, "FFFF:FFFFFFFF", false, 0}), cli::kExitUsage)
      << "a broadcast UID needs --broadcast";
}

TEST_F(Cli, WrongInputIsRefusedWithAReason) {
  EXPECT_EQ(Raw({"fetch", "DEVICE_INFO", {}, "7FF0:00000101", false, 0}), 2);
  EXPECT_EQ(Raw({"get", "NOT_A_PID", {}, "7FF0:00000101", false, 0}), 2);
  EXPECT_EQ(Raw({"get", "DEVICE_INFO", {}, "zz", false, 0}), 2);
  EXPECT_EQ(Raw({"set", "DEVICE_LABEL", {"4G"}, "7FF0:00000101", false, 0}), 2);
  EXPECT_NE(err.str().find("Data byte \"4G\" is not hexadecimal"), std::string::npos);
  EXPECT_EQ(Log().CountStartingWith("->Request:"), 0u) << "nothing was sent";
}

TEST_F(Cli, RigListsTheVirtualFixtures) {
  EXPECT_EQ(cli::RunRig(*session, out, err), 0);
  std::string text = out.str();
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 12);
  EXPECT_NE(text.find("7FF4:00000501  Radio RX"), std::string::npos);
}

TEST(CliSessionCreate, MissingRigFileIsReported) {
  std::string error;
  cli::SessionOptions options;
  options.virtualLine = true;
  options.rigFile = "/nonexistent/rig.json";
  EXPECT_FALSE(cli::CliSession::Create(options, nullptr, error));
  EXPECT_NE(error.find("cannot read rig file /nonexistent/rig.json"), std::string::npos);
}

TEST_F(Cli, BatchAddressAndRadioFromTheCommandLine) {
  EXPECT_EQ(cli::RunDiscover(*session, false, out, err), 0);
  out.str("");
  // Rows 1..4 (radio, hazer, dimmers) onto the spots' addresses: refused, nothing sent.
  EXPECT_EQ(cli::RunBatch(*session, {1, 16, 1, 4, std::nullopt, false}, out, err), 2);
  EXPECT_NE(err.str().find("0x7FF300000401 (Hazer) at 17-18 overlaps 0x7FF000000102 (Spot 2) "
                           "at 17-32"),
            std::string::npos)
      << err.str();
  EXPECT_EQ(session->Line()->FixtureState(0x7FF300000401ULL)->startAddress, 120);
  EXPECT_EQ(cli::RunBatch(*session, {1, 16, 1, 4, std::nullopt, true}, out, err), 0);
  const auto& table = session->Bench().Table();
  std::vector<int> addresses;
  for (int row = 0; row < 4; ++row) {
    auto f = session->Line()->FixtureState(table.Devices[static_cast<size_t>(row)].Uid.Value());
    addresses.push_back(f->personalities[f->personality - 1].footprint == 0 ? 1 : f->startAddress);
  }
  EXPECT_EQ(addresses, (std::vector<int>{1, 17, 33, 49}));
  EXPECT_EQ(cli::RunBatch(*session, {0, 16, 1, 4, std::nullopt, false}, out, err), 2);

  out.str("");
  EXPECT_EQ(cli::RunRadio(*session, std::nullopt, out, err), 0);
  EXPECT_EQ(out.str(), "Radio channel 3\n");
  EXPECT_EQ(cli::RunRadio(*session, 6, out, err), 0);
  EXPECT_EQ(session->Line()->FixtureState(0x7FF400000501ULL)->radioChannel, 6);
  EXPECT_EQ(cli::RunRadio(*session, 8, out, err), 2);
}

TEST(CliProgress, OneLineOnATerminalPlainLinesElsewhere) {
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
}

TEST_F(Cli, SetChangesTheFixtureAndReadShowsIt) {
  ASSERT_EQ(cli::RunDiscover(*session, false, out, err), 0);
  cli::SetCommand set;
  set.uid = "7FF0:00000102";
  set.address = "300";
  set.label = "DSL Spot";
  set.personality = 2;
  set.panInvert = 1;
  out.str("");
  ASSERT_EQ(cli::RunSet(*session, set, out, err), 0) << err.str();
  auto f = session->Line()->FixtureState(0x7FF000000102ULL);
  EXPECT_EQ(f->startAddress, 300);
  set.address = "101";  // on top of Dimmer Pack A
  EXPECT_EQ(cli::RunSet(*session, set, out, err), cli::kExitUsage);
  EXPECT_EQ(session->Line()->FixtureState(0x7FF000000102ULL)->startAddress, 300);
  EXPECT_EQ(f->label, "DSL Spot");
  EXPECT_EQ(f->personality, 2);
  EXPECT_TRUE(f->panInvert);
  EXPECT_FALSE(f->tiltInvert) << "what is not given stays as the device has it";
  EXPECT_EQ(session->Line()->FixtureState(0x7FF000000101ULL)->startAddress, 1) << "nobody else";
  // The list keeps the new label.
  std::string error;
  auto names = common::ReadWholeFile(dir + "/devnames.lst", error);
  ASSERT_TRUE(names);
  EXPECT_NE(names->find("7FF000000102=DSL Spot\r\n"), std::string::npos);

  out.str("");
  ASSERT_EQ(cli::RunRead(*session, "7ff000000102", out, err), 0);
  const std::string text = out.str();
  for (const char* line :
       {"UID:             0x7FF000000102\n", "Device label:    DSL Spot\n",
        "DMX address:     300\n", "Pan invert:      on\n", "Tilt invert:     off\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;
  }
  EXPECT_EQ(cli::RunRead(*session, "spot", out, err), 2) << "not a UID";
}

TEST_F(Cli, ListShowsEveryListedDeviceAsItIsNow) {
  ASSERT_EQ(cli::RunDiscover(*session, false, out, err), 0);
  cli::SetCommand set;
  set.uid = "7FF1:00000201";
  set.address = "300";
  ASSERT_EQ(cli::RunSet(*session, set, out, err), 0);
  out.str("");
  ASSERT_EQ(cli::RunList(*session, out, err), 0);
  const std::string text = out.str();
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 13) << "a header and 12 rows";
  const size_t row = text.find("0x7FF100000201");
  ASSERT_NE(row, std::string::npos);
  EXPECT_EQ(text.substr(row + 16, 3), "300") << text.substr(row, 60);
  EXPECT_NE(text.find("Wash Par 1"), std::string::npos);
}

TEST_F(Cli, NothingIsSentForValuesOutOfRange) {
  ASSERT_EQ(cli::RunDiscover(*session, false, out, err), 0);
  const auto before = session->Line()->FixtureState(0x7FF000000101ULL);
  struct Case {
    const char* what;
    cli::SetCommand command;
  };
  std::vector<Case> cases;
  auto add = [&](const char* what, auto change) {
    cli::SetCommand c;
    c.uid = "7FF0:00000101";
    change(c);
    cases.push_back({what, c});
  };
  add("address 0", [](auto& c) { c.address = "0"; });
  add("address 600", [](auto& c) { c.address = "600"; });
  add("pan invert 2", [](auto& c) { c.panInvert = 2; });
  add("personality 9 of 3", [](auto& c) { c.personality = 9; });
  add("a 33-byte label", [](auto& c) { c.label = std::string(33, 'x'); });
  add("broadcast without --broadcast", [](auto& c) {
    c.uid = "7FF0:FFFFFFFF";
    c.address = "5";
  });
  for (const Case& c : cases) {
    const size_t sets = Log().CountStartingWith("Setting ");
    err.str("");
    EXPECT_EQ(cli::RunSet(*session, c.command, out, err), cli::kExitUsage) << c.what;
    EXPECT_FALSE(err.str().empty()) << c.what;
    EXPECT_EQ(Log().CountStartingWith("Setting "), sets) << c.what << ": nothing set";
  }
  const auto after = session->Line()->FixtureState(0x7FF000000101ULL);
  EXPECT_EQ(after->startAddress, before->startAddress);
  EXPECT_EQ(after->personality, before->personality);
  EXPECT_NE(err.str().find("7FF0FFFFFFFF is a broadcast UID"), std::string::npos);
}

TEST_F(Cli, ASilentDeviceGetsNoMadeUpValues) {
  EXPECT_EQ(cli::RunRead(*session, "1234:00005678", out, err), cli::kExitNoAnswer);
  EXPECT_EQ(out.str(), "") << "no placeholder values";
  EXPECT_EQ(err.str(), "no answer from 0x123400005678\n");
  cli::SetCommand set;
  set.uid = "1234:00005678";
  set.address = "10";
  err.str("");
  EXPECT_EQ(cli::RunSet(*session, set, out, err), cli::kExitNoAnswer);
  EXPECT_EQ(err.str(), "no answer from 0x123400005678\n");
  // The radio receiver has no DMX footprint: no address, not 512.
  ASSERT_EQ(cli::RunRead(*session, "7FF4:00000501", out, err), 0);
  EXPECT_NE(out.str().find("DMX address:     - (no DMX footprint)\n"), std::string::npos)
      << out.str();
}

TEST_F(Cli, JsonDocumentsForScripts) {
  cli::SessionOptions options;
  options.virtualLine = true;
  options.workDir = dir;
  options.clock = &clock;
  options.json = true;
  std::string error;
  session.reset();
  session = cli::CliSession::Create(options, nullptr, error);
  ASSERT_TRUE(session) << error;
  ASSERT_EQ(cli::RunDiscover(*session, false, out, err), 0);
  auto discovered = nlohmann::json::parse(out.str());
  EXPECT_EQ(discovered["found"], 12);
  out.str("");
  ASSERT_EQ(cli::RunRead(*session, "7FF000000101", out, err), 0);
  auto read = nlohmann::json::parse(out.str());
  EXPECT_EQ(read["uid"], "0x7FF000000101");
  EXPECT_EQ(read["label"], "Spot 1");
  EXPECT_EQ(read["address"], 1);
  EXPECT_EQ(read["deviceHours"], 1520);
  out.str("");
  ASSERT_EQ(cli::RunList(*session, out, err), 0);
  auto list = nlohmann::json::parse(out.str());
  ASSERT_EQ(list["devices"].size(), 12u);
  for (const auto& d : list["devices"]) {
    if (d["uid"] == "0x7FF400000501") {
      EXPECT_TRUE(d["address"].is_null()) << "no footprint";
    }
  }
  out.str("");
  EXPECT_EQ(Raw({"get", "DEVICE_LABEL", {}, "7FF0:00000101", false, 2}), cli::kExitNack);
  auto nack = nlohmann::json::parse(out.str());
  EXPECT_EQ(nack["nackReason"], "NR_SUB_DEVICE_OUT_OF_RANGE");
}

TEST_F(Cli, ListAndBatchSayWhatTheyWillDoAndWhatWentWrong) {
  EXPECT_EQ(cli::RunList(*session, out, err), cli::kExitUsage);
  EXPECT_NE(err.str().find("run discover first"), std::string::npos);
  ASSERT_EQ(cli::RunDiscover(*session, false, out, err), 0);
  out.str("");
  err.str("");
  EXPECT_EQ(cli::RunBatch(*session, {1, 16, 3, 2, std::nullopt, false}, out, err),
            cli::kExitUsage);
  EXPECT_NE(err.str().find("--first 3 comes after --last 2"), std::string::npos);
  err.str("");
  // Four 16-slot spots from 480, 16 apart: the third and fourth run past 512.
  EXPECT_EQ(cli::RunBatch(*session, {480, 16, 9, 12, std::nullopt, false}, out, err),
            cli::kExitUsage);
  EXPECT_NE(out.str().find("Fixture 9 (0x"), std::string::npos) << out.str();
  EXPECT_NE(err.str().find("at 512-527 runs past 512"), std::string::npos) << err.str();
  EXPECT_NE(err.str().find("Nothing sent"), std::string::npos);
  err.str("");
  EXPECT_EQ(cli::RunBatch(*session, {480, 16, 9, 12, std::nullopt, true}, out, err), cli::kExitOk);
  EXPECT_NE(err.str().find("Warning: "), std::string::npos) << err.str();
}

TEST(CliSessionCreate, NoBoxIsSaidAndExitsFive) {
  std::string error;
  int code = 0;
  cli::SessionOptions options;  // the real box, which a test machine has not
  EXPECT_FALSE(cli::CliSession::Create(options, nullptr, error, &code));
  EXPECT_EQ(code, cli::kExitNoBox);
  EXPECT_TRUE(error == "interface box not found (04b4:0f1f)" ||
              error.starts_with("The interface box") || error.starts_with("Error initializing"))
      << error;
}

TEST(CliFormat, WideCharactersKeepTheColumnsAligned) {
  workbench::DeviceListView view;
  std::array<std::string, 11> row{};
  row.fill("x");
  row[4] = "灯一";  // six bytes, four columns
  view.rows.push_back(row);
  row[4] = "Lamp";
  view.rows.push_back(row);
  const std::string text = cli::FormatDeviceList(view);
  // The label column is 18 wide: both labels take four columns, so both get 14 spaces.
  EXPECT_NE(text.find("灯一" + std::string(14, ' ') + "x"), std::string::npos) << text;
  EXPECT_NE(text.find("Lamp" + std::string(14, ' ') + "x"), std::string::npos) << text;
}

TEST_F(Cli, AFailedSaveIsAFailure) {
  std::filesystem::create_directory(dir + "/devnames.lst");  // cannot be written as a file
  EXPECT_EQ(cli::RunDiscover(*session, false, out, err), cli::kExitFileError);
  EXPECT_NE(err.str().find("Unable to write "), std::string::npos) << err.str();
}

TEST_F(Cli, ScenesListPlayAndStop) {
  // Two scenes worked by hand: slot 1 at 200, then at 0; fade 100 ms, hold 100 ms.
  std::string file;
  for (uint8_t k : {0, 1}) {
    file += std::string{static_cast<char>(k + 1), '\x1E', '\x00', '\x64', '\x00', '\x64'};
    std::string levels(512, '\0');
    levels[0] = k == 0 ? static_cast<char>(200) : '\0';
    file += levels;
  }
  { std::ofstream(dir + "/quendaris.show", std::ios::binary) << file; }
  std::atomic<bool> interrupted{false};
  ASSERT_EQ(cli::RunScenes(*session, "list", std::nullopt, interrupted, out, err), 0);
  EXPECT_EQ(out.str(),
            "No.1     fade   100 ms  hold   100 ms\nNo.2     fade   100 ms  hold   100 ms\n");
  ASSERT_EQ(cli::RunScenes(*session, "play", 2.0, interrupted, out, err), 0);
  EXPECT_GE(Log().CountOf("Running 2"), 1u) << "the sequence ran on the engine tick";
  EXPECT_GE(Log().CountOf("Running 1"), 1u);
  EXPECT_GT(session->Line()->Stats().dmxFrames, 0u) << "its levels went out on the line";
  ASSERT_EQ(cli::RunScenes(*session, "stop", std::nullopt, interrupted, out, err), 0);
  EXPECT_EQ(session->Line()->LineDmx()[0], 0);
}

TEST_F(Cli, ShowsRecordPlayAndCopyHeadless) {
  std::atomic<bool> interrupted{false};
  cli::ShowCommand record{"record", "T2", 1.0, false, 0, 0};
  ASSERT_EQ(cli::RunShow(*session, record, interrupted, out, err), 0) << err.str();
  const auto size = std::filesystem::file_size(dir + "/T2.dmx");
  // On the manual clock the tick asks faster than frames are written, and requests made
  // before the last one was served count once: at least one whole frame, whole frames only.
  EXPECT_GE(size, 518u);
  EXPECT_EQ(size % 518, 0u);
  {
    std::string frames;
    for (int k = 0; k < 4; ++k)
      frames += std::string(1, static_cast<char>(k)) + std::string(517, '\0');
    std::ofstream(dir + "/T2.dmx", std::ios::binary) << frames;
  }
  cli::ShowCommand play{"play", "T2.dmx", std::nullopt, false, 0, 0};
  ASSERT_EQ(cli::RunShow(*session, play, interrupted, out, err), 0) << err.str();
  // On the manual clock the tick runs flat out: it may begin again before the command sees it.
  EXPECT_GE(Log().CountStartingWith("Loop Playback file length:"), 1u) << "through, then done";
  cli::ShowCommand copy{"copy", "T2", std::nullopt, false, 0, 2};
  ASSERT_EQ(cli::RunShow(*session, copy, interrupted, out, err), 0) << err.str();
  EXPECT_EQ(std::filesystem::file_size(dir + "/S_T2.dmx"), 2u * 518);
  cli::ShowCommand missing{"play", "nothing", std::nullopt, false, 0, 0};
  EXPECT_EQ(cli::RunShow(*session, missing, interrupted, out, err), cli::kExitUsage);
}

// The headless node on loopback with the real clock: the engine tick runs as it does for a
// user, so the box's frame is waited for (bounded), never assumed.
TEST(CliArtNet, ANodeForConsolesDmxInAndRdmThrough) {
  if (testsupport::LoopbackIndex(net::ListHostAddresses()) < 0) GTEST_SKIP() << "no 127.0.0.1";
  const std::string dir = testsupport::MakeTempDir();
  const uint16_t port = testsupport::FreeUdpPort();
  cli::SessionOptions options;
  options.virtualLine = true;
  options.workDir = dir;
  options.artNet.port = port;
  options.artNet.relayAlways = true;
  std::string error;
  auto session = cli::CliSession::Create(options, nullptr, error);
  ASSERT_TRUE(session) << error;
  std::ostringstream out, err;

  EXPECT_EQ(cli::RunArtNet(*session, {"10.255.255.254", 0, "in", std::nullopt}, {}, out, err),
            cli::kExitUsage);
  EXPECT_NE(err.str().find("is not an IPv4 address of this computer"), std::string::npos);

  std::atomic<bool> interrupted{false};
  int rc = -1;
  std::thread node([&] {
    rc = cli::RunArtNet(*session, {"127.0.0.1", 291, "in", std::nullopt}, interrupted, out, err);
  });
  testsupport::UdpPeer console(testsupport::kConsoleAddress, port, port);
  const std::vector<uint8_t> poll{'A', 'r', 't', '-', 'N', 'e', 't', 0, 0x00, 0x20, 0, 14, 2, 0};
  std::optional<std::vector<uint8_t>> reply;
  for (int i = 0; i < 100 && !reply; ++i) {  // until the node listens
    console.Send(poll);
    reply = console.Receive(100);
  }
  ASSERT_TRUE(reply) << "the node never answered a poll";
  EXPECT_EQ(reply->size(), 239u);

  std::vector<uint8_t> dmx{'A', 'r', 't', '-', 'N',  'e',  't',  0,    0x00, 0x50,
                           0,   14,  1,   0,   0x23, 0x01, 0x00, 0x02, 77,   78};
  console.Send(dmx);
  bool onTheLine = false;
  for (int i = 0; i < 500 && !onTheLine; ++i) {
    const auto line = session->Line()->LineDmx();
    onTheLine = line[0] == 77 && line[1] == 78;
    if (!onTheLine) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(onTheLine) << "slots 1 and 2 never reached the box";

  // GET DEVICE_INFO to 7FF0:00000101, checksum 0x03B7 summed by hand.
  std::vector<uint8_t> rdm{'A', 'r', 't', '-', 'N', 'e', 't', 0, 0x00, 0x83, 0,    14,
                           1,   0,   0,   0,   0,   0,   0,   0, 0,    0x01, 0x00, 0x23};
  for (int b : {0x01, 0x18, 0x7F, 0xF0, 0x00, 0x00, 0x01, 0x01, 0x4D, 0x41, 0x00, 0x00, 0x00,
                0x10, 0x42, 0x01, 0x00, 0x00, 0x00, 0x20, 0x00, 0x60, 0x00, 0x03, 0xB7}) {
    rdm.push_back(static_cast<uint8_t>(b));
  }
  console.Send(rdm);
  std::optional<std::vector<uint8_t>> answer;
  do {
    answer = console.Receive(5000);
  } while (answer && testsupport::OpCodeOf(*answer) != 0x8300);
  ASSERT_TRUE(answer) << "no ArtRdm answer from the headless node";
  EXPECT_EQ((*answer)[38], 0x42);
  EXPECT_EQ((*answer)[43], 0x21) << "GET_COMMAND_RESPONSE";

  interrupted = true;
  node.join();
  EXPECT_EQ(rc, cli::kExitOk) << err.str();
  EXPECT_NE(out.str().find("Art-Net node on 127.0.0.1:" + std::to_string(port) +
                           ", port-address 291 (Net 1, Sub-Net 2, Universe 3)"),
            std::string::npos)
      << out.str();
  EXPECT_NE(out.str().find("1 RDM requests relayed, 1 answered"), std::string::npos) << out.str();
  session.reset();
  std::filesystem::remove_all(dir);
}

TEST(CliFirmware, MergeWritesTheJoinedFileOrSaysWhyNot) {
  const std::string dir = testsupport::MakeTempDir();
  auto make = [&](const std::string& name, size_t size) {
    std::ofstream(dir + "/" + name, std::ios::binary) << std::string(size, 'x');
    return dir + "/" + name;
  };
  std::ostringstream out, err;
  const std::string boot = make("iap.bin", 4000), app = make("app.bin", 50001);
  EXPECT_EQ(cli::RunFirmwareMerge({boot, app}, dir + "/app-iap.bin", out, err), cli::kExitOk);
  EXPECT_EQ(std::filesystem::file_size(dir + "/app-iap.bin"), 62288u);
  EXPECT_NE(out.str().find("app-iap.bin: 62288 bytes (the application at offset 12288)"),
            std::string::npos)
      << out.str();

  EXPECT_EQ(cli::RunFirmwareMerge({boot, dir + "/none.bin"}, dir + "/x.bin", out, err),
            cli::kExitFileError);
  EXPECT_FALSE(std::filesystem::exists(dir + "/x.bin")) << "nothing written";
  EXPECT_EQ(cli::RunFirmwareMerge({boot, app, app, app, app, app}, dir + "/y.bin", out, err),
            cli::kExitUsage);
  EXPECT_FALSE(std::filesystem::exists(dir + "/y.bin"));
  std::filesystem::remove_all(dir);
}

TEST_F(Cli, PlansAreSavedAndAppliedByUidWhateverTheListsOrder) {
  ASSERT_EQ(cli::RunDiscover(*session, false, out, err), 0);
  const std::string pat = dir + "/rig.pat", plan = dir + "/rig.DMXLINK";
  EXPECT_EQ(cli::RunPlan(*session, {"save", pat, false}, out, err), cli::kExitOk) << err.str();
  EXPECT_EQ(cli::RunPlan(*session, {"save", plan, false}, out, err), cli::kExitOk);
  std::string error;
  EXPECT_EQ(common::ReadWholeFile(pat, error)->size(), 4u + 12 * 12);
  EXPECT_EQ(common::ReadWholeFile(plan, error)->size(), 4u + 12 * 14);

  // The rig is moved around and the list reordered; the plan puts each fixture back.
  auto& line = *session->Line();
  EXPECT_EQ(Raw({"set", "DMX_START_ADDRESS", {"01 2C"}, "7FF000000101", false, 0}), 0);
  EXPECT_EQ(Raw({"set", "DMX_START_ADDRESS", {"01 90"}, "7FF100000203", false, 0}), 0);
  session->Run([&] { session->Bench().List().SortByStartAddress(); });
  out.str("");
  err.str("");
  EXPECT_EQ(cli::RunPlan(*session, {"apply", pat, false}, out, err), cli::kExitOk) << err.str();
  EXPECT_EQ(line.FixtureState(0x7FF000000101ULL)->startAddress, 1);
  EXPECT_EQ(line.FixtureState(0x7FF100000203ULL)->startAddress, 81);
  EXPECT_NE(out.str().find("0x7FF000000101: address 1\n"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("The fixtures now report:"), std::string::npos);

  // A plan that names a fixture not on the line and puts two on top of each other.
  const std::vector<workbench::PlanRecord> bad{{rdm::Uid(0x123400000001ULL), 0, 4, 0},
                                               {rdm::Uid(0x7FF100000201ULL), 0, 8, 0}};
  std::ofstream(dir + "/bad.pat", std::ios::binary) << workbench::EncodePatchFile(bad);
  err.str("");
  EXPECT_EQ(cli::RunPlan(*session, {"apply", dir + "/bad.pat", false}, out, err), cli::kExitUsage);
  EXPECT_NE(err.str().find("0x123400000001 is in the plan but not on the line: skipped"),
            std::string::npos)
      << err.str();
  EXPECT_NE(err.str().find("(Wash Par 1) at 1-8 overlaps 0x7FF000000101 (Spot 1) at 1-16"),
            std::string::npos);
  EXPECT_EQ(line.FixtureState(0x7FF100000201ULL)->startAddress, 65) << "nothing sent";
  EXPECT_EQ(cli::RunPlan(*session, {"apply", dir + "/bad.pat", true}, out, err),
            cli::kExitNoAnswer)
      << "sent, and the missing fixture said";
  EXPECT_EQ(line.FixtureState(0x7FF100000201ULL)->startAddress, 1);
  EXPECT_EQ(cli::RunPlan(*session, {"apply", dir + "/none.pat", false}, out, err),
            cli::kExitFileError);
}
