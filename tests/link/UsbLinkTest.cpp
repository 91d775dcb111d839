#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "FakeTransport.h"
#include "common/Clock.h"
#include "common/Log.h"
#include "link/UsbLink.h"

using namespace velquor;
using link::LINK_MODE_DMX;
using link::LINK_MODE_RDM;
using testsupport::FakeTransport;

namespace {

struct LinkFixture : ::testing::Test {
  common::LogSink log;
  common::ManualClock clock;
  FakeTransport transport;
  int holdOffs = 0;
  link::KeyGenerator keys{42};
  link::UsbLink link{transport, log, clock, link::LinkHooks{[this] { ++holdOffs; }}, &keys};
  std::vector<uint8_t> dmx = std::vector<uint8_t>(527, 0);

  void SetUp() override { link.LinkOpen(); }
  std::vector<int> SentCodes() const {
    std::vector<int> codes;
    for (const auto& f : transport.sent) codes.push_back(f[0]);
    return codes;
  }
};

}  // namespace

TEST_F(LinkFixture, OpensAndReportsState) {
  EXPECT_TRUE(link.IsOpen());
  EXPECT_EQ(link.DeviceConnect(), "Connected successfully");
  transport.openSucceeds = false;
  transport.outResults = {-4};
  link.LinkSend(LINK_MODE_RDM, std::vector<uint8_t>(31, 0));
  EXPECT_EQ(link.DeviceConnect(), "Not connected");
}

TEST_F(LinkFixture, RdmSendCutsWholeChunksAndHoldsTheTickOff) {
  std::vector<uint8_t> message(93, 0xAB);  // L = 60: three chunks
  EXPECT_EQ(link.LinkSend(LINK_MODE_RDM, message), 0);
  EXPECT_EQ(SentCodes(), (std::vector<int>{0xCC, 0xCD, 0xCE}));
  EXPECT_EQ(holdOffs, 3);
  for (const auto& f : transport.sent) EXPECT_EQ(link::UnscrambleChunk(f)[5], 0xAB);

  transport.sent.clear();
  link.LinkSend(LINK_MODE_RDM, std::vector<uint8_t>(61, 1));  // not a multiple of 31
  EXPECT_EQ(transport.sent.size(), 1u);
  transport.sent.clear();
  link.LinkSend(LINK_MODE_RDM, std::vector<uint8_t>(30, 1));  // below one chunk
  EXPECT_TRUE(transport.sent.empty());
}

TEST_F(LinkFixture, DmxSendsOnlyChangedChunksAndKeepsChunkZeroAlive) {
  dmx[0] = 10;
  dmx[100] = 20;  // chunk 3
  link.LinkSend(LINK_MODE_DMX, dmx);
  EXPECT_EQ(SentCodes(), (std::vector<int>{0xE5, 0xE8}));

  transport.sent.clear();
  for (int i = 0; i < 6; ++i) link.LinkSend(LINK_MODE_DMX, dmx);
  EXPECT_TRUE(transport.sent.empty()) << "unchanged data sends nothing for six calls";
  link.LinkSend(LINK_MODE_DMX, dmx);
  EXPECT_EQ(SentCodes(), (std::vector<int>{0xE5})) << "the seventh idle call re-sends chunk 0";
  EXPECT_EQ(link::UnscrambleChunk(transport.sent[0])[0], 10);

  // The keep-alive restarts after every transfer.
  transport.sent.clear();
  for (int i = 0; i < 6; ++i) link.LinkSend(LINK_MODE_DMX, dmx);
  EXPECT_TRUE(transport.sent.empty());
}

TEST_F(LinkFixture, OversizedSendIsCappedAtSeventeenChunks) {
  std::vector<uint8_t> big(1060, 3);
  link.LinkSend(LINK_MODE_DMX, big);
  EXPECT_EQ(transport.sent.size(), 17u);
  EXPECT_EQ(log.CountStartingWith("Link: 1060 bytes"), 1u);
}

TEST_F(LinkFixture, FailedTransferClosesAndRdmReopensAtOnce) {
  transport.outResults = {-7};
  EXPECT_EQ(link.LinkSend(LINK_MODE_RDM, std::vector<uint8_t>(62, 0)), -7);
  EXPECT_EQ(log.CountOf("fake error -7"), 1u);
  EXPECT_EQ(transport.closeCalls, 1);
  // The second chunk of the same call finds the link closed: it reopens, sends nothing.
  EXPECT_EQ(transport.sent.size(), 1u);
  EXPECT_EQ(transport.openCalls, 2);
  EXPECT_TRUE(link.IsOpen());
  EXPECT_EQ(link.ReconnectCounter(), 0);
}

TEST_F(LinkFixture, DmxReopensOnTwelfthAttemptAndForgetsWhatChangedMeanwhile) {
  transport.outResults = {-1};
  dmx[0] = 1;
  link.LinkSend(LINK_MODE_DMX, dmx);
  ASSERT_FALSE(link.IsOpen());
  transport.sent.clear();
  transport.openSucceeds = true;

  dmx[40] = 9;  // chunk 1 changes while closed
  link.LinkSend(LINK_MODE_DMX, dmx);
  for (int call = 0; call < 10; ++call) {
    dmx[0] = static_cast<uint8_t>(10 * (call + 1));  // chunk 0 changes every call
    link.LinkSend(LINK_MODE_DMX, dmx);
  }
  EXPECT_FALSE(link.IsOpen()) << "eleven attempts: still closed";
  EXPECT_EQ(transport.openCalls, 1);
  dmx[0] = 99;
  link.LinkSend(LINK_MODE_DMX, dmx);
  EXPECT_TRUE(link.IsOpen()) << "the twelfth attempt reopens";
  EXPECT_TRUE(transport.sent.empty()) << "the chunk in hand is not transmitted";

  link.LinkSend(LINK_MODE_DMX, dmx);
  // Only the keep-alive of chunk 0 goes out (no transfer for many calls by now): chunk 1
  // changed while closed and is not re-sent.
  EXPECT_EQ(SentCodes(), (std::vector<int>{0xE5}));
  transport.sent.clear();
  dmx[40] = 10;
  link.LinkSend(LINK_MODE_DMX, dmx);
  EXPECT_EQ(SentCodes(), (std::vector<int>{0xE6}));
}

TEST_F(LinkFixture, ReceiveCompletesAfterTheChunksTheLengthAsks) {
  std::vector<uint8_t> head(31, 0);
  head[0] = 0xCC;
  head[1] = 0x01;
  head[2] = 60;  // three chunks
  head[3] = 0x42;
  transport.QueueChunk(0xCC, 0, head);
  transport.QueueChunk(0xE5, 0, {0x77});  // DMX during an RDM receive: ignored
  transport.QueueChunk(0xCC, 1, std::vector<uint8_t>(31, 0x11));
  transport.QueueChunk(0xCC, 2, std::vector<uint8_t>(31, 0x22));
  transport.QueueChunk(0xCC, 2, std::vector<uint8_t>(31, 0x33));  // not read: already complete

  std::array<uint8_t, 1060> response;
  response.fill(0xFF);
  link.ComboBoxRDMChange(5);  // 90 ms
  uint16_t n = link.LinkReceive(response);
  EXPECT_EQ(n, 93);
  EXPECT_EQ(response[3], 0x42);
  EXPECT_EQ(response[31], 0x11);
  EXPECT_EQ(response[62], 0x22);
  EXPECT_EQ(response[93], 0xFF);
  EXPECT_EQ(transport.getReportCalls, 4);
}

TEST_F(LinkFixture, ReceiveTimesOutWithPartialDataAndCountsRepeats) {
  std::vector<uint8_t> head(31, 0);
  head[0] = 0xCC;
  head[1] = 0x01;
  head[2] = 60;
  transport.QueueChunk(0xCC, 0, head);
  transport.QueueChunk(0xCC, 0, head);  // the same chunk again counts again
  std::array<uint8_t, 1060> response;
  response.fill(0xFF);
  link.ComboBoxRDMChange(1);
  double elapsed = link.LinkReceiveRdm(response, 50);
  EXPECT_EQ(link.ReceivedByteCount(), 62);
  EXPECT_GE(elapsed, 50.0);
  EXPECT_LT(elapsed, 60.0);
  EXPECT_EQ(response[0], 0xCC);
  EXPECT_EQ(transport.getReportCalls, 10);  // one poll every 5 ms
}

TEST_F(LinkFixture, OnlyAnRdmStartAndSubStartCodeMakeAnAnswerComplete) {
  // CC 02 (not the RDM sub-start code) with a length of one chunk: not an RDM answer, so the
  // link keeps listening until the time-out.
  std::vector<uint8_t> head(31, 0);
  head[0] = 0xCC;
  head[1] = 0x02;
  head[2] = 24;
  transport.QueueChunk(0xCC, 0, head);
  std::array<uint8_t, 1060> response;
  response.fill(0xFF);
  double elapsed = link.LinkReceiveRdm(response, 50);
  EXPECT_GE(elapsed, 50.0);
  EXPECT_EQ(transport.getReportCalls, 10);
}

TEST_F(LinkFixture, ReceiveClearsHaltOnPipeErrorAndKeepsTheLinkOpen) {
  transport.reports.push_back({-9, {}});
  transport.reports.push_back({-7, {}});
  transport.reports.push_back({12, {}});  // a short frame is dropped
  std::array<uint8_t, 1060> response{};
  link.LinkReceiveRdm(response, 20);
  EXPECT_EQ(transport.clearHaltCalls, 1);
  EXPECT_TRUE(link.IsOpen());
  EXPECT_EQ(link.ReceivedByteCount(), 0);
  EXPECT_EQ(log.CountStartingWith("Link: short frame of 12 bytes"), 1u);
}

TEST_F(LinkFixture, WaitsSleepInsteadOfSpinning) {
  std::array<uint8_t, 1060> response{};
  unsigned before = clock.SleepCount();
  link.LinkReceiveRdm(response, 50);
  EXPECT_EQ(clock.SleepCount() - before, 10u);
  EXPECT_DOUBLE_EQ(link.BusyWaitMs(2.5), 2.5);
}

TEST_F(LinkFixture, ClosedLinkReceiveWaitsOutTheTimeOut) {
  transport.outResults = {-4};
  transport.openSucceeds = false;
  link.LinkSend(LINK_MODE_DMX, std::vector<uint8_t>(31, 1));
  ASSERT_FALSE(link.IsOpen());
  std::array<uint8_t, 1060> response{};
  int calls = transport.getReportCalls;
  EXPECT_GE(link.LinkReceiveRdm(response, 50), 50.0);
  EXPECT_EQ(transport.getReportCalls, calls);
  EXPECT_EQ(link.ReceivedByteCount(), 0);
}

TEST_F(LinkFixture, PollInputStoresDmxChunksAndIgnoresRdm) {
  std::vector<uint8_t> got(527, 0);
  auto store = [&](size_t offset, std::span<const uint8_t, 31> bytes) {
    std::copy(bytes.begin(), bytes.end(), got.begin() + static_cast<ptrdiff_t>(offset));
  };
  transport.QueueChunk(0xE5, 16, std::vector<uint8_t>(31, 0x5A));
  transport.QueueChunk(0xCC, 0, std::vector<uint8_t>(31, 0x66));
  link.LinkPollInput(store);
  link.LinkPollInput(store);
  EXPECT_EQ(got[496], 0x5A);
  EXPECT_EQ(got[526], 0x5A);
  EXPECT_EQ(std::count(got.begin(), got.end(), 0x66), 0);
}

TEST_F(LinkFixture, PollInputFailureClosesThenReopensEvery102ndCall) {
  transport.reports.push_back({-9, {}});
  link.LinkPollInput({});
  EXPECT_FALSE(link.IsOpen());
  EXPECT_EQ(transport.clearHaltCalls, 1);
  EXPECT_EQ(log.CountOf("fake error -9"), 1u);
  EXPECT_EQ(link.DeviceConnect(), "Not connected");
  for (int i = 0; i < 101; ++i) link.LinkPollInput({});
  EXPECT_EQ(transport.openCalls, 1);
  link.LinkPollInput({});
  EXPECT_EQ(transport.openCalls, 2);
  EXPECT_TRUE(link.IsOpen());
}

TEST_F(LinkFixture, SpeedItemsGiveFortyToNinetyMilliseconds) {
  EXPECT_EQ(link.RdmResponseTimeoutMs(), 35u);
  link.ComboBoxRDMChange(0);
  EXPECT_EQ(link.RdmResponseTimeoutMs(), 40u);
  link.ComboBoxRDMChange(1);
  EXPECT_EQ(link.RdmResponseTimeoutMs(), 50u);
  link.ComboBoxRDMChange(5);
  EXPECT_EQ(link.RdmResponseTimeoutMs(), 90u);
  link.ComboBoxRDMChange(-1);  // no item chosen
  EXPECT_EQ(link.RdmResponseTimeoutMs(), 40u);
}
