#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "RdmHarness.h"
#include "rdm/KnownPids.h"

using namespace velquor;
using namespace velquor::testsupport;
using rdm::RESULT_OK;
using virtualline::Fault;
using virtualline::FaultKind;
namespace pid = rdm::pid;

namespace {

struct Engine : ::testing::Test {
  RdmHarness<> h;
  std::vector<std::string> RequestLines() const { return h.LinesStartingWith("->Request:"); }
};

}  // namespace

TEST(AnswerTimes, TheBranchWaitFollowsTheSlowestRecentAnswer) {
  std::vector<double> sixteenFast(16, 5.0), fifteenFast(15, 5.0);
  sixteenFast.insert(sixteenFast.begin(), 30);
  fifteenFast.insert(fifteenFast.begin(), 30);
  // The answers in ms, oldest first; the time-out; the branch's wait.
  const std::tuple<std::vector<double>, double, double> cases[] = {
      {{}, 50, 50},           // nothing answered yet: the whole time-out
      {{5}, 50, 10},          // 7.5 is below the floor of two polls
      {{5, 10, 5}, 50, 15},   // the slowest counts, not the last
      {{10, 30}, 50, 45},     //
      {{10, 40}, 50, 50},     // never past the time-out
      {{10, 40}, 90, 60},     // Speed0's 90 ms leave room
      {fifteenFast, 50, 45},  // a slow answer counts among the last 16
      {sixteenFast, 50, 10},  // and is forgotten after 16 others
  };
  for (const auto& [answers, timeout, wait] : cases) {
    rdm::AnswerTimes times;
    for (double ms : answers) times.Answered(ms);
    EXPECT_DOUBLE_EQ(times.BranchWaitMs(timeout), wait)
        << answers.size() << " answers, time-out " << timeout;
  }
}

TEST_F(Engine, ABranchListensForTheLearnedWaitAndEndsWithItsAnswer) {
  using rdm::BranchWait;
  auto branch = [&](rdm::Uid lower, rdm::Uid upper, BranchWait wait) {
    const common::Instant start = h.clock.Now();
    const rdm::RdmAnswer a = h.engine.DiscoveryBranch(lower, upper, wait);
    const auto r = rdm::DecodeDiscoveryResponse(a.response, a.receivedBytes, lower, upper);
    return std::pair(common::ToMs(h.clock.Now() - start), r.outcome == rdm::DiscoveryOutcome::Valid
                                                              ? rdm::UidText(r.uid)
                                                              : std::string("-"));
  };
  using Heard = std::pair<double, std::string>;
  // Nothing has answered yet: the learned wait is the time-out (50 ms, ten 5 ms polls).
  EXPECT_EQ(branch(kNobody, kNobody, BranchWait::Learned), Heard(50, "-"));
  // A mute answered at the first poll (5 ms): silence now takes two polls.
  ASSERT_TRUE(h.engine.RdmTransact({rdm::DISCOVERY_COMMAND, pid::DISC_MUTE, {}}, kPar1, true).Ok());
  EXPECT_EQ(branch(kNobody, kNobody, BranchWait::Learned), Heard(10, "-"));
  // An answer ends the listening at the poll that brought it, whole: the first look, 0.1 ms
  // sooner since the mute's answer was in at it.
  const Heard spot2 = branch(kSpot2, kSpot2, BranchWait::Learned);
  EXPECT_NEAR(spot2.first, 4.9, 1e-6);
  EXPECT_EQ(spot2.second, rdm::UidText(kSpot2));
  // The full time-out runs to its end, answered or not.
  EXPECT_EQ(branch(kNobody, kNobody, BranchWait::FullTimeOut), Heard(50, "-"));
  EXPECT_EQ(branch(kSpot2, kSpot2, BranchWait::FullTimeOut), Heard(50, rdm::UidText(kSpot2)));
}

TEST_F(Engine, GetDeviceInfoFromARigFixture) {
  ASSERT_EQ(h.Get(kSpot1, pid::DEVICE_INFO).result, RESULT_OK);
  // The answer's header (an ACK from the fixture, 19 bytes) is in its line.
  auto lines = h.log.Lines();
  ASSERT_EQ(lines.size(), 4u);  // "1 Device Opened", request, response, separator
  EXPECT_EQ(lines[1], "->Request:CC 01 18 7FF000000101 888800000001 01 00 00 0000 20 0060 00 03E8");
  EXPECT_EQ(
      lines[2].rfind("Response:CC 01 2B 888800000001 7FF000000101 01 00 00 0000 21 0060 13 ", 0),
      0u);
  EXPECT_EQ(lines[3], std::string(115, '-') + "2026-01-02 03:04:05");
  EXPECT_EQ(h.engine.RetryCounter(), 0);
}

TEST_F(Engine, SilentDeviceCostsTwoExchangesAndFaultsInsideARetryCarryTheCounterOn) {
  EXPECT_EQ(h.Get(kNobody, pid::DEVICE_INFO).result, 0);
  // The retry reports nothing.
  EXPECT_EQ(std::tuple(h.Requests(), h.Responses(), h.log.CountOf("no receive response"),
                       h.engine.RetryCounter()),
            std::tuple(2u, 0u, 0u, 0));
  EXPECT_EQ(RequestLines()[1].substr(45, 2), "02") << "each retry has its own transaction";
  EXPECT_GE(h.clock.Now(), common::FromMs(100)) << "two full time-outs";

  // A checksum error inside a retry carries the counter on; a NACK keeps it as it is.
  h.log.Clear();
  h.line.InjectFault(kSpot1.Value(), {.kind = FaultKind::NoAnswer, .count = 1});
  h.line.InjectFault(kSpot1.Value(), {.kind = FaultKind::BadChecksum, .count = 1});
  EXPECT_EQ(h.Get(kSpot1, pid::DEVICE_INFO).result, 0);
  EXPECT_EQ(std::tuple(h.Requests(), h.engine.RetryCounter()), std::tuple(2u, 1));
  h.line.InjectFault(kSpot1.Value(), {.kind = FaultKind::Nack, .count = 1, .nackReason = 0x0006});
  rdm::RdmAnswer a = h.Get(kSpot1, pid::DMX_START_ADDRESS);
  EXPECT_EQ(std::tuple(a.result, a.ResponseType(), rdm::ReadU16(a.Data().data())),
            std::tuple(RESULT_OK, rdm::RESPONSE_TYPE_NACK_REASON, 0x0006));
  EXPECT_EQ(h.engine.RetryCounter(), 1);
  // The next silent call starts at 1: one exchange, and it says so.
  h.log.Clear();
  EXPECT_EQ(h.Get(kNobody, pid::DEVICE_INFO).result, 0);
  EXPECT_EQ(std::tuple(h.Requests(), h.log.CountOf("no receive response"), h.engine.RetryCounter()),
            std::tuple(1u, 1u, 0));
}

// What a fixture's faults cost: exchanges, answers logged, the lines that say what went wrong.
TEST(EngineFaults, RetriesAndChecksOfEveryKindOfFault) {
  using K = FaultKind;
  // The fault (kind, count: -1 every request, NACK reason, delay, frame); the result, the
  // requests and responses logged, a log line and how often; the bytes received (0: any).
  const std::tuple<Fault, uint8_t, size_t, size_t, const char*, size_t, uint16_t> cases[] = {
      {{K::NonRdm}, 0, 4, 0, "no response", 4, 0},  // four exchanges, then it gives up
      {{K::NonRdm, 1}, RESULT_OK, 2, 1, "no response", 1, 0},
      {{K::BadChecksum, 1}, 0, 1, 1, "Check sum is Wrong", 1, 0},  // not retried
      {{K::AckTimer, 1}, RESULT_OK, 1, 1, "no response", 0, 0},
      {{K::LateAnswer, 1, 0, 30}, RESULT_OK, 1, 1, "no receive response", 0, 0},
      {{K::LateAnswer, 1, 0, 500}, RESULT_OK, 2, 1, "no receive response", 0, 0},  // too late
      // DEVICE_INFO answers in two frames; a frame that comes twice fills its place twice.
      {{K::LoseFrame, 1, 0, 0, 1}, 0, 1, 1, "Check sum is Wrong", 1, 31},
      {{K::RepeatFrame, 1, 0, 0, 0}, RESULT_OK, 1, 1, "Check sum is Wrong", 0, 93},
      // A whole, well-summed answer to the request before is not this request's answer.
      {{K::StaleAnswer, 1}, 0, 1, 1,
       "Answer dropped: from 0x7FF000000101 with transaction 0, not the answer of "
       "0x7FF000000101 to transaction 1",
       1, 0},
  };
  for (const auto& [fault, result, requests, responses, line, lines, received] : cases) {
    RdmHarness<> h;
    h.line.InjectFault(kSpot1.Value(), fault);
    const rdm::RdmAnswer a = h.Get(kSpot1, pid::DEVICE_INFO);
    SCOPED_TRACE("fault " + std::to_string(static_cast<int>(fault.kind)));
    EXPECT_EQ(std::tuple(a.result, h.Requests(), h.Responses(), h.log.CountOf(line)),
              std::tuple(result, requests, responses, lines));
    if (received) {
      EXPECT_EQ(a.receivedBytes, received);
    }
    EXPECT_EQ(h.engine.RetryCounter(), 0);
    if (fault.count > 0) {
      EXPECT_EQ(h.Get(kSpot1, pid::DEVICE_INFO).result, RESULT_OK) << "nothing stale";
    }
  }
}

TEST_F(Engine, LocalRequestsInheritNothingOfAConsolesOrARelayedRequest) {
  rdm::RdmRequest console{rdm::GET_COMMAND, pid::DEVICE_LABEL, {}, 5, true};
  std::vector<std::string> mirrored;
  h.engine.SetConsoleSink([&](const std::string& line) { mirrored.push_back(line); });
  rdm::RdmAnswer a = h.engine.RdmTransact(console, kSpot1, true);
  EXPECT_EQ(std::tuple(a.ResponseType(), rdm::ReadU16(a.Data().data())),
            std::tuple(rdm::RESPONSE_TYPE_NACK_REASON, 0x0009));  // no such sub-device
  ASSERT_EQ(mirrored.size(), 1u);
  EXPECT_EQ("->Request:" + mirrored[0], RequestLines()[0]) << "the request line, bare";

  EXPECT_EQ(h.Get(kSpot1, pid::DEVICE_LABEL).ResponseType(), rdm::RESPONSE_TYPE_ACK);
  EXPECT_EQ(rdm::ReadU16(&h.engine.RequestImage()[rdm::kSubDevice]), 0);
  EXPECT_EQ(mirrored.size(), 1u) << "only the console's request is mirrored";

  // A relayed request goes out as received and leaves nothing behind.
  h.Get(kSpot1, pid::DEVICE_INFO);  // transaction 1
  // A request from a console on the network: its own source UID, port, transaction; the
  // checksum 0x040E added up by hand.
  const std::vector<uint8_t> m{0xCC, 0x01, 24,   0x7F, 0xF0, 0x00, 0x00, 0x01, 0x01,
                               0x45, 0x4E, 0x00, 0x00, 0x00, 0x09, 0x77, 0x03, 0x00,
                               0x00, 0x00, 0x20, 0x00, 0x82, 0x00, 0x04, 0x0E};
  a = h.engine.RdmRelay(std::span(m).subspan(1));
  ASSERT_EQ(a.result, RESULT_OK);
  EXPECT_EQ(rdm::Uid::Read(&a.response[rdm::kDestUid]), rdm::Uid(0x454E00000009ULL))
      << "to the console";
  EXPECT_EQ(a.response[rdm::kTransaction], 0x77);
  EXPECT_EQ(RequestLines().back().substr(10, 59),
            "CC 01 18 7FF000000101 454E00000009 77 03 00 0000 20 0082 00");

  h.Get(kSpot1, pid::DEVICE_INFO);
  const rdm::RdmImage image = h.engine.RequestImage();
  EXPECT_EQ(std::tuple(rdm::Uid::Read(&image[rdm::kSourceUid]), image[rdm::kTransaction],
                       image[rdm::kPortOrResponseType]),
            std::tuple(rdm::ControllerUid, 4, 0))
      << "the local count goes on from before the relay";

  EXPECT_EQ(h.engine.RdmRelay(std::span(m).subspan(1, 10)).result, 0);
  EXPECT_EQ(h.log.CountStartingWith("Relayed RDM request of 10 bytes refused"), 1u);
}

TEST_F(Engine, OversizedParameterDataIsRefusedBeforeAnythingIsSent) {
  auto before = h.line.Stats().requestFrames;
  rdm::RdmAnswer a = h.Set(kSpot1, pid::DEVICE_LABEL, std::vector<uint8_t>(232, 'x'));
  EXPECT_EQ(std::tuple(a.result, h.line.Stats().requestFrames), std::tuple(uint8_t{0}, before));
  EXPECT_EQ(h.log.CountStartingWith("RDM request refused: 232 bytes"), 1u);
  EXPECT_EQ(h.engine.RequestImage()[rdm::kTransaction], 0) << "the image is untouched";

  // 231 bytes fit and travel in nine frames.
  a = h.engine.RdmTransact({rdm::SET_COMMAND, 0x0120, std::vector<uint8_t>(231, 1)}, kSpot1, true);
  EXPECT_EQ(std::tuple(a.result, h.line.Stats().requestFrames - before), std::tuple(RESULT_OK, 9u));
}

TEST(ExchangeOutcome, EveryKindOfAnswerAsAValue) {
  auto answer = [](uint8_t result, uint16_t received, uint8_t type, std::vector<uint8_t> data) {
    rdm::RdmAnswer a;
    a.result = result;
    a.receivedBytes = received;
    a.response[rdm::kPortOrResponseType] = type;
    a.response[rdm::kPdl] = static_cast<uint8_t>(data.size());
    std::copy(data.begin(), data.end(), a.response.begin() + rdm::kData);
    return a;
  };
  using Kind = rdm::ExchangeOutcome::Kind;
  const std::tuple<rdm::RdmAnswer, Kind, std::string> cases[] = {
      {answer(RESULT_OK, 26, 0x00, {0x00, 0x01}), Kind::Ack, "ACK"},
      {answer(RESULT_OK, 26, 0x02, {0x00, 0x06}), Kind::Nack, "NACK_REASON NR_DATA_OUT_OF_RANGE"},
      {answer(RESULT_OK, 24, 0x02, {}), Kind::Nack, "NACK_REASON"},
      {answer(RESULT_OK, 26, 0x01, {0x00, 0x0A}), Kind::AckTimer, "ACK_TIMER"},
      {answer(RESULT_OK, 26, 0x03, {0x00, 0x01}), Kind::AckOverflow, "ACK_OVERFLOW"},
      {answer(RESULT_OK, 26, 0x07, {}), Kind::BadAnswer, "no valid answer"},
      {answer(0, 0, 0x00, {}), Kind::NoAnswer, "no answer"},
      {answer(0, 31, 0x00, {}), Kind::BadAnswer, "no valid answer"},
  };
  for (const auto& [a, kind, text] : cases) {
    const rdm::ExchangeOutcome o = rdm::OutcomeOf(a);
    EXPECT_EQ(std::pair(o.kind, o.Text()), std::pair(kind, text));
  }
  EXPECT_EQ(rdm::OutcomeOf(std::get<0>(cases[3])).readyInTenths, 10);
}

// Exchanges from several threads (UI, engine tick, network) share one link and one pair
// of images: each must get its own answer, never a torn or foreign one.
TEST(Concurrency, ExchangesFromThreeThreadsEachGetTheirOwnAnswer) {
  RdmHarness<common::SteadyClock> h;
  const std::vector<std::pair<rdm::Uid, std::string>> targets{
      {kSpot1, "Spot 1"}, {kPar1, "Wash Par 1"}, {kSpot2, "Spot 2"}};
  std::atomic<int> wrong{0}, failed{0};
  std::atomic<bool> dmxRunning{true};

  std::vector<std::thread> threads;
  for (const auto& [uid, label] : targets) {
    threads.emplace_back([&, uid = uid, label = label] {
      for (int i = 0; i < 8; ++i) {
        rdm::RdmAnswer a =
            h.engine.RdmTransact({rdm::GET_COMMAND, rdm::pid::DEVICE_LABEL, {}}, uid, true);
        if (!a.Ok()) {
          ++failed;
          continue;
        }
        std::string got(a.Data().begin(), a.Data().end());
        if (got != label || rdm::Uid::Read(&a.response[rdm::kSourceUid]) != uid) ++wrong;
      }
    });
  }
  // Meanwhile the tick keeps sending DMX.
  std::thread dmx([&] {
    std::vector<uint8_t> universe(527, 0);
    for (uint8_t level = 0; dmxRunning.load(); ++level) {
      universe[0] = level;
      h.link.LinkSend(link::LINK_MODE_DMX, universe);
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });
  for (auto& t : threads) t.join();
  dmxRunning = false;
  dmx.join();

  // No request was interleaved with another.
  EXPECT_EQ(std::tuple(wrong.load(), failed.load(), h.line.Stats().badRequests, h.Requests(),
                       h.Responses()),
            std::tuple(0, 0, 0u, 24u, 24u));
}
