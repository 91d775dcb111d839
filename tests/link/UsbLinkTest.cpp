#include <gtest/gtest.h>

#include <array>
#include <set>
#include <vector>

#include "FakeTransport.h"
#include "common/Clock.h"
#include "common/Log.h"
#include "link/LinkFrame.h"
#include "link/UsbLink.h"

using namespace velquor;
using testsupport::FakeTransport;
using namespace velquor::link;

namespace {

struct LinkFixture : ::testing::Test {
  common::LogSink log;
  common::ManualClock clock;
  FakeTransport transport;
  int holdOffs = 0;
  link::KeyGenerator keys{42};
  link::UsbLink link{transport, log, clock, link::LinkHooks{[this] { ++holdOffs; }}, &keys};
  std::vector<uint8_t> dmx = std::vector<uint8_t>(527, 0);
  std::array<uint8_t, 1060> response{};

  void SetUp() override {
    link.LinkOpen();
    response.fill(0xFF);
  }
  std::vector<int> SentCodes() const {
    std::vector<int> codes;
    for (const auto& f : transport.sent) codes.push_back(f[0]);
    return codes;
  }
};

}  // namespace

TEST_F(LinkFixture, RdmSendCutsWholeChunksAndHoldsTheTickOff) {
  std::vector<uint8_t> message(93, 0xAB);  // L = 60: three chunks
  EXPECT_EQ(link.LinkSend(LINK_MODE_RDM, message), 0);
  EXPECT_EQ(SentCodes(), (std::vector<int>{0xCC, 0xCD, 0xCE}));
  EXPECT_EQ(holdOffs, 3);
  for (const auto& f : transport.sent) EXPECT_EQ(link::UnscrambleChunk(f)[5], 0xAB);

  // Only whole chunks go out, at most seventeen.
  for (auto [bytes, frames] : {std::pair{61, 1u}, {30, 0u}, {1060, 17u}}) {
    transport.sent.clear();
    link.LinkSend(LINK_MODE_RDM, std::vector<uint8_t>(static_cast<size_t>(bytes), 1));
    EXPECT_EQ(transport.sent.size(), frames) << bytes << " bytes";
  }
  EXPECT_EQ(log.CountStartingWith("Link: 1060 bytes"), 1u);
}

TEST_F(LinkFixture, DmxSendsOnlyChangedChunksAndKeepsChunkZeroAlive) {
  dmx[0] = 10;
  dmx[100] = 20;  // chunk 3
  link.LinkSend(LINK_MODE_DMX, dmx);
  EXPECT_EQ(SentCodes(), (std::vector<int>{0xE5, 0xE8}));
  EXPECT_EQ(holdOffs, 0) << "DMX holds nothing off";

  // Six idle calls send nothing, the seventh re-sends chunk 0; and again after it.
  for (int round = 0; round < 2; ++round) {
    transport.sent.clear();
    for (int i = 0; i < 6; ++i) link.LinkSend(LINK_MODE_DMX, dmx);
    EXPECT_TRUE(transport.sent.empty()) << "round " << round;
    link.LinkSend(LINK_MODE_DMX, dmx);
    EXPECT_EQ(SentCodes(), (std::vector<int>{0xE5})) << "round " << round;
    EXPECT_EQ(link::UnscrambleChunk(transport.sent[0])[0], 10);
  }
}

TEST_F(LinkFixture, FailedTransferClosesAndRdmReopensAtOnce) {
  EXPECT_EQ(link.DeviceConnect(), "Connected successfully");
  transport.outResults = {-7};
  EXPECT_EQ(link.LinkSend(LINK_MODE_RDM, std::vector<uint8_t>(62, 0)), -7);
  EXPECT_EQ(std::tuple(log.CountOf("fake error -7"), transport.closeCalls), std::tuple(1u, 1));
  // The second chunk of the same call finds the link closed: it reopens, sends nothing.
  EXPECT_EQ(std::tuple(transport.sent.size(), transport.openCalls, link.IsOpen(),
                       link.ReconnectCounter()),
            std::tuple(1u, 2, true, 0));

  // What the window tells: the box pulled is not found until it comes back; refused on its
  // return, the reason; then connected again.
  using enum link::BoxState;
  EXPECT_EQ(link.Box(), Connected);
  transport.openSucceeds = false;
  transport.outResults = {-4};
  link.LinkSend(LINK_MODE_RDM, std::vector<uint8_t>(62, 0));
  EXPECT_EQ(link.Box(), NotFound);
  transport.state = NoPermission;
  link.LinkSend(LINK_MODE_RDM, std::vector<uint8_t>(31, 0));
  EXPECT_EQ(link.Box(), NoPermission);
  transport.openSucceeds = true;
  link.LinkSend(LINK_MODE_RDM, std::vector<uint8_t>(31, 0));
  EXPECT_EQ(link.Box(), Connected);
}

TEST_F(LinkFixture, DmxReopensOnTwelfthAttemptAndForgetsWhatChangedMeanwhile) {
  transport.outResults = {-1};
  dmx[0] = 1;
  link.LinkSend(LINK_MODE_DMX, dmx);
  ASSERT_FALSE(link.IsOpen());
  EXPECT_EQ(link.DeviceConnect(), "Not connected");
  EXPECT_EQ(link.Box(), link::BoxState::NotFound) << "gone, not yet looked for again";
  transport.sent.clear();

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

// The frames of an answer are fetched one right after another; the 5 ms wait comes first.
// After a poll that brought nothing new (a DMX frame, a frame already placed) the link waits
// only for the rest of the answer to cross the line (44 us a byte) and reach USB (0.3 ms).
TEST_F(LinkFixture, ReceiveTakesWaitingFramesAtOnceAndCompletesOnEveryChunkOnce) {
  transport.QueueChunk(0xCC, 0, {0xCC, 0x01, 60, 0x42});  // a head of three chunks
  transport.QueueChunk(0xE5, 0, {0x77});                  // DMX during an RDM receive: ignored
  transport.QueueChunk(0xCC, 1, std::vector<uint8_t>(31, 0x11));
  transport.QueueChunk(0xCC, 1, std::vector<uint8_t>(31, 0x11));  // repeated: nothing new
  transport.QueueChunk(0xCC, 2, std::vector<uint8_t>(31, 0x22));
  transport.QueueChunk(0xCC, 2, std::vector<uint8_t>(31, 0x33));  // not read: already complete
  link.SetResponseTimeout(90);
  EXPECT_EQ(link.LinkReceive(response), 124) << "31 for every frame placed";
  EXPECT_EQ(std::tuple(response[3], response[31], response[62], response[93]),
            std::tuple(0x42, 0x11, 0x22, 0xFF));
  // Waits before the head (5 ms), after the DMX frame (the 31 bytes still out: 1.364 + 0.3 ms)
  // and after the repeat (nothing left on the line: 0.3 ms).
  EXPECT_EQ(std::tuple(transport.getReportCalls, clock.SleepCount()), std::tuple(5, 3u));
  EXPECT_NEAR(common::ToMs(clock.Now()), 6.964, 0.001);
}

// Answers that never become whole: the receive polls every 5 ms, sleeping, to the time-out.
TEST_F(LinkFixture, ReceiveWaitsOutTheTimeOutTheSpeedItemGivesForAnAnswerThatIsNotWhole) {
  // Each: the sub-start code and length of its head, heads sent, bytes counted. A frame is
  // asked for at once after the head and once more when the rest should be in: twelve polls,
  // eleven waits.
  const std::tuple<const char*, uint8_t, uint8_t, int, uint16_t> cases[] = {
      {"the same head twice is not two chunks", 0x01, 60, 2, 62},
      {"CC 02 is no RDM answer, however short", 0x02, 24, 1, 31},
  };
  for (const auto& [what, subStart, length, heads, counted] : cases) {
    transport.getReportCalls = 0;
    for (int i = 0; i < heads; ++i) transport.QueueChunk(0xCC, 0, {0xCC, subStart, length});
    const unsigned sleeps = clock.SleepCount();
    const double elapsed = link.LinkReceiveRdm(response, 50);
    EXPECT_TRUE(elapsed >= 50.0 && elapsed < 60.0) << what << ": " << elapsed;
    EXPECT_EQ(
        std::tuple(link.ReceivedByteCount(), transport.getReportCalls, clock.SleepCount() - sleeps),
        std::tuple(counted, 12, 11u))
        << what;
  }
  EXPECT_DOUBLE_EQ(link.BusyWaitMs(2.5), 2.5);

  // The speed items give the time-out: forty to ninety milliseconds.
  const std::pair<int, uint32_t> speeds[] = {{0, 40}, {1, 50}, {5, 90}, {6, 90}, {-1, 40}};
  for (auto [item, ms] : speeds) EXPECT_EQ(link::ResponseTimeoutOfItem(item), ms) << item;
}

// A box whose one-frame answer is in `answerMs` after each request (none: silence).
struct PacedBox : FakeTransport {
  explicit PacedBox(common::Clock& c) : clock(c) {}
  int InterruptOut(const link::LinkFrame& frame) override {
    sentAt = clock.Now();
    answered = false;
    return FakeTransport::InterruptOut(frame);
  }
  int GetReport(link::LinkFrame& frame) override {
    ++getReportCalls;
    frame.fill(0);
    if (answerMs < 0 || answered || common::ToMs(clock.Now() - sentAt) < answerMs) return 33;
    answered = true;
    link::Chunk head{0xCC, 0x01, 24};
    frame = link::ScrambleChunk(link::kRdmBase, 0, head, 9);
    return 33;
  }
  common::Clock& clock;
  common::Instant sentAt{};
  double answerMs = 3.7;
  bool answered = false;
};

// The first poll learns when this box's answers come in; finding nothing early never makes an
// exchange slower than polling every 5 ms, and silence teaches nothing.
TEST(LinkFirstLook, SettlesJustAfterTheAnswersAndNeverCostsTime) {
  common::LogSink log;
  common::ManualClock clock;
  PacedBox box(clock);
  link::UsbLink usb(box, log, clock);
  usb.LinkOpen();
  std::array<uint8_t, 64> answer{};
  const std::array<uint8_t, 31> request{0xCC, 0x01, 24};
  auto exchange = [&] {
    usb.LinkSend(LINK_MODE_RDM, request);
    const double ms = usb.LinkReceiveRdm(answer, 50);
    EXPECT_EQ(usb.ReceivedByteCount(), 31) << "answer lost at first look " << usb.FirstLookMs();
    return ms;
  };
  // Each: when the answers come in, and what every exchange may cost at most (the 5 ms poll
  // that finds it), then once settled on average.
  const std::tuple<double, double, double> paces[] = {{7.0, 10.0, 10.0}, {4.2, 5.0, 4.8},
                                                      {2.0, 5.0, 2.7}, {3.7, 5.0, 4.2}};
  for (const auto& [answerMs, most, settled] : paces) {
    box.answerMs = answerMs;
    double sum = 0;
    for (int i = 0; i < 60; ++i) {
      const double ms = exchange();
      EXPECT_LE(ms, most + 1e-9) << "answers at " << answerMs << ", exchange " << i;
      if (i >= 30) sum += ms;
    }
    EXPECT_LE(sum / 30, settled) << "answers at " << answerMs;
    EXPECT_GE(usb.FirstLookMs(), 2.5);
  }
  box.answerMs = -1;  // a fixture gone quiet: its time-outs leave the learned look alone
  const double before = usb.FirstLookMs();
  for (int i = 0; i < 3; ++i) {
    usb.LinkSend(LINK_MODE_RDM, request);
    EXPECT_DOUBLE_EQ(usb.LinkReceiveRdm(answer, 20), 20.0) << "polls 5 ms after the request";
  }
  EXPECT_EQ(usb.FirstLookMs(), before);
}

TEST_F(LinkFixture, PipeErrorsClearTheHaltAPollInputFailureClosesThenReopensEvery102ndCall) {
  transport.reports.push_back({-9, {}});
  link.LinkPollInput({});
  EXPECT_EQ(std::tuple(link.IsOpen(), transport.clearHaltCalls, log.CountOf("fake error -9")),
            std::tuple(false, 1, 1u));
  // Closed, a receive asks the box nothing and still waits out its time-out.
  const int calls = transport.getReportCalls;
  EXPECT_GE(link.LinkReceiveRdm(response, 50), 50.0);
  EXPECT_EQ(std::tuple(transport.getReportCalls, link.ReceivedByteCount()), std::tuple(calls, 0));

  for (int i = 0; i < 101; ++i) link.LinkPollInput({});
  EXPECT_EQ(transport.openCalls, 1);
  link.LinkPollInput({});
  EXPECT_EQ(std::tuple(transport.openCalls, link.IsOpen()), std::tuple(2, true));

  // A receive clears the halt on a pipe error and keeps the link open; a short frame is dropped.
  transport.reports.push_back({-9, {}});
  transport.reports.push_back({-7, {}});
  transport.reports.push_back({12, {}});  // a short frame is dropped
  link.LinkReceiveRdm(response, 20);
  EXPECT_EQ(std::tuple(transport.clearHaltCalls, link.IsOpen(), link.ReceivedByteCount()),
            std::tuple(2, true, 0));
  EXPECT_EQ(log.CountStartingWith("Link: short frame of 12 bytes"), 1u);

  // The poll stores DMX chunks and ignores RDM ones.
  std::vector<uint8_t> got(527, 0);
  auto store = [&](size_t offset, std::span<const uint8_t, 31> bytes) {
    std::copy(bytes.begin(), bytes.end(), got.begin() + static_cast<ptrdiff_t>(offset));
  };
  transport.QueueChunk(0xE5, 16, std::vector<uint8_t>(31, 0x5A));
  transport.QueueChunk(0xCC, 0, std::vector<uint8_t>(31, 0x66));
  link.LinkPollInput(store);
  link.LinkPollInput(store);
  EXPECT_EQ(std::tuple(got[496], got[526], std::count(got.begin(), got.end(), 0x66)),
            std::tuple(0x5A, 0x5A, 0));
}

// Frames worked by hand: byte i of the chunk goes out as ~(data ^ ((i + 0x12) | key)).
TEST(Scramble, FramesWorkedByHand) {
  // The base, chunk index, key and the chunk's first bytes (the rest 0); the frame's first
  // bytes, and one more of the frame at its offset.
  using Bytes = std::vector<uint8_t>;
  const std::tuple<uint8_t, size_t, uint8_t, Bytes, Bytes, size_t, uint8_t> cases[] = {
      // From the box's documentation: 0xFF - (0x12 XOR 0xCC) = 0x21.
      {kRdmBase, 0, 0x00, {0xCC}, {0xCC, 0x00, 0x21}, 32, 0xCF},  // i = 30: ~0x30
      // Key 0x13 shares bits with the mask: ~(0xCC ^ (0x12 | 0x13)) = ~0xDF = 0x20,
      // ~(0x01 ^ 0x13) = 0xED, byte 5: ~(0x00 ^ (0x17 | 0x13)) = 0xE8.
      {kRdmBase, 1, 0x13, {0xCC, 0x01}, {0xCD, 0x13, 0x20, 0xED}, 7, 0xE8},
      {0xFF, 2, 0x00, {}, {0x01}, 2, 0xED},  // the code wraps in 8 bits
  };
  for (const auto& [base, index, key, bytes, first, at, atValue] : cases) {
    Chunk data{};
    std::copy(bytes.begin(), bytes.end(), data.begin());
    const LinkFrame frame = ScrambleChunk(base, index, data, key);
    EXPECT_EQ(Bytes(frame.begin(), frame.begin() + first.size()), first);
    EXPECT_EQ(frame[at], atValue) << "byte " << at;
    EXPECT_EQ(UnscrambleChunk(frame), data);
  }
}

TEST(Scramble, KeysBelow245ThatVaryChunkCodesAndCounts) {
  KeyGenerator keys(1234);
  std::set<int> seen;
  for (int i = 0; i < 5000; ++i) seen.insert(keys.Next());
  EXPECT_TRUE(seen.size() > 200u && *seen.rbegin() < 245) << seen.size() << " keys";
  const std::pair<uint8_t, int> rdm[] = {{0xCC, 0}, {0xDC, 16}, {0xDD, -1}, {0xCB, -1}};
  for (auto [code, index] : rdm) EXPECT_EQ(RdmChunkIndex(code), index) << int{code};
  const std::pair<uint8_t, int> dmx[] = {{0xE5, 0}, {0xF5, 16}, {0xF6, -1}, {0xDC, -1}};
  for (auto [code, index] : dmx) EXPECT_EQ(DmxChunkIndex(code), index) << int{code};
  // A chunk more when length + 2 is a multiple of 31 (29: 31 bytes exactly).
  const std::pair<uint8_t, size_t> counts[] = {{24, 1}, {28, 1}, {29, 2}, {60, 3}, {255, 9}};
  for (auto [length, chunks] : counts) EXPECT_EQ(RdmChunkCount(length), chunks) << int{length};
}
