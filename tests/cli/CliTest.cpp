#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "TempDir.h"
#include "cli/CliSession.h"
#include "common/Files.h"

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
  EXPECT_EQ(Raw({"get", "DEVICE_LABEL", {}, "7FF0:00000101", false, 2}), 0);
  EXPECT_NE(out.str().find("NACK_REASON NR_SUB_DEVICE_OUT_OF_RANGE"), std::string::npos);
}

TEST_F(Cli, SilentDestinationExitsOne) {
  EXPECT_EQ(Raw({"get", "DEVICE_INFO", {}, "1234:00005678", false, 0}), 1);
  EXPECT_EQ(out.str(), "No valid answer.\n");
  EXPECT_EQ(Log().CountStartingWith("->Request:"), 2u);
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
  EXPECT_EQ(cli::RunDiscover(*session, false, out), 0);
  out.str("");
  EXPECT_EQ(cli::RunBatch(*session, {1, 16, 1, 4, std::nullopt}, out, err), 0);
  const auto& table = session->Bench().Table();
  std::vector<int> addresses;
  for (int row = 0; row < 4; ++row) {
    auto f = session->Line()->FixtureState(table.Records[row].Uid.Value());
    addresses.push_back(f->personalities[f->personality - 1].footprint == 0 ? 1 : f->startAddress);
  }
  EXPECT_EQ(addresses, (std::vector<int>{1, 17, 33, 49}));
  EXPECT_EQ(cli::RunBatch(*session, {0, 16, 1, 4, std::nullopt}, out, err), 2);

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
  ASSERT_EQ(cli::RunDiscover(*session, false, out), 0);
  cli::SetCommand set;
  set.uid = "7FF0:00000102";
  set.address = "100";
  set.label = "DSL Spot";
  set.personality = 2;
  set.panInvert = true;
  out.str("");
  ASSERT_EQ(cli::RunSet(*session, set, out, err), 0) << err.str();
  auto f = session->Line()->FixtureState(0x7FF000000102ULL);
  EXPECT_EQ(f->startAddress, 100);
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
        "DMX address:     100\n", "Pan invert:      on\n", "Tilt invert:     off\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;
  }
  EXPECT_EQ(cli::RunRead(*session, "spot", out, err), 2) << "not a UID";
}

TEST_F(Cli, ListShowsEveryListedDeviceAsItIsNow) {
  ASSERT_EQ(cli::RunDiscover(*session, false, out), 0);
  cli::SetCommand set;
  set.uid = "7FF1:00000201";
  set.address = "300";
  ASSERT_EQ(cli::RunSet(*session, set, out, err), 0);
  out.str("");
  ASSERT_EQ(cli::RunList(*session, out), 0);
  const std::string text = out.str();
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 13) << "a header and 12 rows";
  const size_t row = text.find("0x7FF100000201");
  ASSERT_NE(row, std::string::npos);
  EXPECT_EQ(text.substr(row + 16, 3), "300") << text.substr(row, 60);
  EXPECT_NE(text.find("Wash Par 1"), std::string::npos);
}
