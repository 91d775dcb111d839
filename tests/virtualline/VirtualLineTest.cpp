#include <gtest/gtest.h>

#include "RdmHarness.h"
#include "rdm/DiscoverySearch.h"
#include "rdm/KnownPids.h"

using namespace velquor;
using namespace velquor::testsupport;
using virtualline::FaultKind;
namespace pid = rdm::pid;

namespace {

struct Line : ::testing::Test {
  RdmHarness<> h;

  // A DISC_UNIQUE_BRANCH, its answer decoded as discovery decodes it.
  rdm::DiscoveryResult Branch(AnyUid lower, AnyUid upper) {
    rdm::RdmAnswer a = h.engine.DiscoveryBranch(lower, upper);
    return rdm::DecodeDiscoveryResponse(a.response, a.receivedBytes, lower, upper);
  }
  rdm::RdmAnswer Disc(rdm::Uid uid, uint16_t which) {
    return h.engine.RdmTransact({rdm::DISCOVERY_COMMAND, which, {}}, uid, true);
  }
  std::vector<uint8_t> Bytes(const rdm::RdmAnswer& a) { return {a.Data().begin(), a.Data().end()}; }
  // Sends GET DEVICE_INFO to kSpot1 by hand, its checksum broken when `damaged`.
  void SendGetDeviceInfo(bool damaged = false) {
    rdm::RdmImage image{};
    rdm::PrimeRequestImage(image);
    image[rdm::kCommandClass] = rdm::GET_COMMAND;
    image[rdm::kPid + 1] = 0x60;
    rdm::CompleteRequest(image, kSpot1);
    image[25] ^= damaged ? 0x01 : 0x00;  // checksum
    h.link.LinkSend(link::LINK_MODE_RDM, std::span(image.data(), 31));
  }
};

}  // namespace

TEST_F(Line, UniqueBranchFindsOneCollidesOnManyAndIsSilentOnNone) {
  using O = rdm::DiscoveryOutcome;
  const std::tuple<uint64_t, uint64_t, O, rdm::Uid> cases[] = {
      {0, rdm::BroadcastUid.Value(), O::Collision, rdm::Uid()},
      {kSpot1.Value(), kSpot1.Value(), O::Valid, kSpot1},
      {0x7FF400000000ULL, 0x7FF4FFFFFFFFULL, O::Valid, kRadio},
      {0x100000000000ULL, 0x200000000000ULL, O::NoAnswer, rdm::Uid()}};
  for (const auto& [lower, upper, outcome, uid] : cases) {
    const auto r = Branch(lower, upper);
    EXPECT_EQ(std::pair(r.outcome, r.uid), std::pair(outcome, uid)) << std::hex << lower;
  }
}

TEST_F(Line, MutedRespondersLeaveTheBranchUntilUnmutedUnlessTheyIgnoreIt) {
  rdm::RdmAnswer a = Disc(kSpot1, pid::DISC_MUTE);
  ASSERT_TRUE(a.Ok());
  EXPECT_EQ(a.Pdl(), 2);  // control field
  EXPECT_EQ(a.response[rdm::kCommandClass], rdm::DISCOVERY_COMMAND_RESPONSE);
  EXPECT_TRUE(*h.line.IsMuted(kSpot1.Value()));
  EXPECT_EQ(Branch(kSpot1, kSpot2).uid, kSpot2) << "only the unmuted one answers";

  EXPECT_FALSE(Disc(rdm::BroadcastUid, pid::DISC_UN_MUTE).Ok()) << "no answer to broadcast";
  EXPECT_FALSE(*h.line.IsMuted(kSpot1.Value()));
  EXPECT_EQ(Branch(kSpot1, kSpot2).outcome, rdm::DiscoveryOutcome::Collision);

  // A responder that ignores the mute, or answers nothing at all.
  h.line.InjectFault(kSpot1.Value(), {.kind = FaultKind::IgnoreMute});
  EXPECT_FALSE(Disc(kSpot1, pid::DISC_MUTE).Ok());
  EXPECT_FALSE(*h.line.IsMuted(kSpot1.Value()));
  EXPECT_EQ(Branch(kSpot1, kSpot1).uid, kSpot1);
  h.line.ClearFaults();
  h.line.InjectFault(kSpot1.Value(), {.kind = FaultKind::NoAnswer});
  EXPECT_EQ(Branch(kSpot1, kSpot2).uid, kSpot2) << "not even discovery is answered";
}

TEST_F(Line, SetsChangeWhatLaterGetsReturn) {
  const std::vector<uint8_t> label{'D', 'o', 'w', 'n', 's', 't', 'a', 'g', 'e'};
  ASSERT_TRUE(h.Set(kSpot1, pid::DEVICE_LABEL, label).Ok());
  EXPECT_EQ(Bytes(h.Get(kSpot1, pid::DEVICE_LABEL)), label);

  ASSERT_EQ(h.Set(kSpot1, pid::DMX_START_ADDRESS, {0x01, 0x2C}).ResponseType(), 0);
  EXPECT_EQ(rdm::ReadU16(h.Get(kSpot1, pid::DMX_START_ADDRESS).Data().data()), 300);
  EXPECT_EQ(h.Fixture(kSpot1).startAddress, 300);

  ASSERT_EQ(h.Set(kSpot1, pid::DMX_PERSONALITY, {2}).ResponseType(), 0);
  // DEVICE_INFO bytes 10..13: footprint 22 (personality 2's), personality 2 of 3.
  const auto info = Bytes(h.Get(kSpot1, pid::DEVICE_INFO));
  EXPECT_EQ(std::vector<uint8_t>(info.begin() + 10, info.begin() + 14),
            (std::vector<uint8_t>{0x00, 0x16, 0x02, 0x03}));
  EXPECT_EQ(Bytes(h.Get(kSpot1, pid::DMX_PERSONALITY_DESCRIPTION, {3})),
            (std::vector<uint8_t>{0x03, 0x00, 0x0C, 'B', 'a', 's', 'i', 'c'}));

  const std::pair<uint16_t, uint8_t> flags[] = {
      {pid::PAN_INVERT, 1}, {pid::LAMP_STATE, 0}, {pid::IDENTIFY_DEVICE, 1}};
  for (auto [p, value] : flags) {
    ASSERT_TRUE(h.Set(kSpot1, p, {value}).Ok()) << p;
    EXPECT_EQ(h.Get(kSpot1, p).Data()[0], value) << p;
  }
  ASSERT_TRUE(h.Set(kSpot1, pid::DEVICE_HOURS, {0, 0, 1, 0}).Ok());
  EXPECT_EQ(h.Fixture(kSpot1).deviceHours, 256u);
  ASSERT_TRUE(h.Set(kSpot1, pid::RESET_DEVICE, {1}).Ok());
  EXPECT_EQ(h.Get(kSpot1, pid::IDENTIFY_DEVICE).Data()[0], 0);
}

TEST_F(Line, RefusesWhatAResponderWouldRefuse) {
  // Each: the answer, the NACK reason it must carry.
  const std::pair<rdm::RdmAnswer, uint16_t> cases[] = {
      {h.Set(kSpot1, pid::DMX_START_ADDRESS, {0x02, 0x01}), 0x0006},  // 513
      {h.Set(kSpot1, pid::DMX_START_ADDRESS, {0x00, 0x00}), 0x0006},
      {h.Set(kSpot1, pid::DMX_PERSONALITY, {4}), 0x0006},
      {h.Set(kSpot1, pid::DMX_START_ADDRESS, {0x01}), 0x0001},
      {h.Set(kSpot1, pid::MANUFACTURER_LABEL, {'x'}), 0x0005},
      {h.Get(kSpot1, pid::RESET_DEVICE), 0x0005},
      {h.Get(0x7FF300000401ULL, pid::PAN_INVERT), 0x0000},  // a hazer has no pan
      {h.Get(kSpot1, pid::RADIO_CHANNEL), 0x0000},
      {h.Set(kSpot1, pid::DEVICE_LABEL, std::vector<uint8_t>(33, 'a')), 0x0001}};
  for (const auto& [a, reason] : cases) {
    EXPECT_EQ(std::tuple(a.ResponseType(), a.Pdl(), rdm::ReadU16(a.Data().data())),
              std::tuple(rdm::RESPONSE_TYPE_NACK_REASON, 2, reason));
  }
  EXPECT_EQ(h.Fixture(kSpot1).startAddress, 1) << "nothing changed";
}

TEST_F(Line, SupportedParametersAndStatusMessages) {
  rdm::RdmAnswer sp = h.Get(kSpot1, pid::SUPPORTED_PARAMETERS);
  EXPECT_EQ(sp.Pdl(), 38);  // 19 parameters of a moving head, three for its sensors, three slots
  EXPECT_EQ(rdm::ReadU16(sp.Data().data()), pid::DEVICE_LABEL);

  const rdm::Uid spot3{0x7FF000000103ULL};
  rdm::RdmAnswer warn = h.Get(spot3, pid::STATUS_MESSAGES, {0x02});
  ASSERT_EQ(warn.Pdl(), 9);
  EXPECT_EQ(warn.Data()[2], 0x03);
  EXPECT_EQ(h.Get(spot3, pid::STATUS_MESSAGES, {0x04}).Pdl(), 0) << "nothing as bad as an error";
  EXPECT_EQ(h.Get(kSpot1, pid::STATUS_MESSAGES, {0x02}).Pdl(), 0);
}

TEST_F(Line, RadioReceiverAnswersItsChannelEvenOnBroadcast) {
  EXPECT_EQ(Bytes(h.Get(rdm::BroadcastUid, pid::RADIO_CHANNEL)), std::vector<uint8_t>{3});
  ASSERT_TRUE(h.Set(rdm::BroadcastUid, pid::RADIO_CHANNEL, {7}).Ok());
  EXPECT_EQ(h.Fixture(kRadio).radioChannel, 7);
}

TEST_F(Line, CarriesDmxBothWays) {
  std::vector<uint8_t> universe(527, 0);
  universe[0] = 255;
  universe[511] = 17;
  h.link.LinkSend(link::LINK_MODE_DMX, universe);
  EXPECT_EQ(std::tuple(h.line.LineDmx()[0], h.line.LineDmx()[511]), std::tuple(255, 17));

  std::vector<uint8_t> input(512, 0);
  input[200] = 99;
  h.line.SetInputUniverse(input);  // all 17 chunks come back, the last past slot 512
  std::vector<uint8_t> received(527, 0xEE);
  for (int i = 0; i < 17; ++i) {
    h.link.LinkPollInput([&](size_t offset, std::span<const uint8_t, 31> bytes) {
      std::copy(bytes.begin(), bytes.end(), received.begin() + static_cast<ptrdiff_t>(offset));
    });
  }
  EXPECT_EQ(std::tuple(received[200], received[526]), std::tuple(99, 0));
}

TEST_F(Line, UnpluggedBoxFailsTransfersAndIsReopenedByTheNextRequest) {
  h.line.SetUnplugged(true);
  EXPECT_FALSE(h.Get(kSpot1, pid::DEVICE_INFO).Ok());
  EXPECT_FALSE(h.link.IsOpen());
  EXPECT_EQ(h.log.CountOf("No such device (it may have been disconnected)"), 1u);
  h.line.SetUnplugged(false);
  h.log.Clear();
  // The frame that reopens is not sent; the silent retry goes through.
  EXPECT_TRUE(h.Get(kSpot1, pid::DEVICE_INFO).Ok());
  EXPECT_TRUE(h.link.IsOpen());
  EXPECT_EQ(h.Requests(), 2u);
  EXPECT_EQ(h.log.CountOf("1 Device Opened"), 1u);
}

// Worked by hand at 250 kbaud (44 us a byte, 188 us of break and mark-after-break): GET
// DEVICE_INFO is 26 bytes, on the line until 1.332 ms; the answer starts 1 ms later, and its
// 45 bytes fill frame 0 at 3.884 ms and frame 1 at 4.5 ms. No frame exists before its bytes.
TEST_F(Line, AnswerFramesExistOnlyOnceTheirBytesHaveCrossedTheLine) {
  SendGetDeviceInfo();
  const std::pair<double, int> polls[] = {{0, -1}, {3.85, -1}, {3.9, 0}, {4.45, -1}, {4.55, 1}};
  for (const auto& [ms, chunk] : polls) {
    h.clock.Advance(common::FromMs(ms) - h.clock.Now());
    link::LinkFrame frame;
    h.line.GetReport(frame);
    EXPECT_EQ(link::RdmChunkIndex(frame[0]), chunk) << ms << " ms";
  }
}

TEST_F(Line, DamagedRequestsAreIgnored) {
  SendGetDeviceInfo(true);
  EXPECT_EQ(std::tuple(h.line.Stats().badRequests, h.line.QueuedFrames()), std::tuple(1u, 0u));
}

namespace {

virtualline::Fixture Plain(AnyUid uid) {
  virtualline::Fixture f;
  f.uid = uid.uid.Value();
  f.personalities = {{1, "Default"}};
  return f;
}

virtualline::Rig TwoNeighbours(virtualline::CollisionMode mode) {
  virtualline::Rig rig;
  rig.collisions = mode;
  rig.fixtures = {Plain(0x7A7000000001ULL), Plain(0x7A7000000002ULL)};
  return rig;
}

}  // namespace

// Worked by hand from E1.20's encoding (each byte as b|0xAA, b|0x55; checksum the sum of
// the twelve encoded bytes): 7A70:00000001 sends ... AB 55 | AE 57 EF F5 and
// 7A70:00000002 sends ... AA 57 | AE 57 EE F7. Their OR is the valid answer of
// 7A70:00000003, their AND the valid answer of 7A70:00000000.
TEST(LineCollisions, OverlappingAnswersCombineAsTheRigSays) {
  const std::vector<uint8_t> head{0xFE, 0xFE, 0xFE, 0xFE, 0xFE, 0xFE, 0xFE, 0xAA, 0xFA,
                                  0x7F, 0xFA, 0x75, 0xAA, 0x55, 0xAA, 0x55, 0xAA, 0x55};
  using M = virtualline::CollisionMode;
  using O = rdm::DiscoveryOutcome;
  struct Case {
    M mode;
    std::vector<uint8_t> tail;
    O outcome;
    uint64_t uid;
  };
  const Case cases[] = {
      {M::Or, {0xAB, 0x57, 0xAE, 0x57, 0xEF, 0xF7}, O::Valid, 0x7A7000000003ULL},
      {M::And, {0xAA, 0x55, 0xAE, 0x57, 0xEE, 0xF5}, O::Valid, 0x7A7000000000ULL},
      // The checksum breaks; the UID bytes still spell the AND, a hint where to look.
      {M::Garbled, {0xAA, 0x55, 0xAE, 0x57, 0xEE, 0xFA}, O::Collision, 0x7A7000000000ULL},
  };
  for (const Case& c : cases) {
    RdmHarness<> h(TwoNeighbours(c.mode));
    std::vector<uint8_t> expected = head;
    expected.insert(expected.end(), c.tail.begin(), c.tail.end());
    rdm::RdmAnswer a = h.engine.DiscoveryBranch(rdm::Uid(), rdm::kHighestUid);
    EXPECT_EQ(std::vector<uint8_t>(a.response.begin(), a.response.begin() + 24), expected);
    rdm::DiscoveryResult r = rdm::DecodeDiscoveryAnswer(a.response, a.receivedBytes);
    EXPECT_EQ(std::pair(r.outcome, r.uid), std::pair(c.outcome, rdm::Uid(c.uid)));
    const rdm::RdmAnswer alone = h.engine.DiscoveryBranch(rdm::Uid(2), rdm::Uid(0x7A7000000001ULL));
    EXPECT_EQ(rdm::DecodeDiscoveryAnswer(alone.response, 24).uid, rdm::Uid(0x7A7000000001ULL))
        << "alone, each answers as itself";
  }
}

TEST(LineCollisions, MisbehavingRespondersFromTheRigFile) {
  using virtualline::DiscoveryFault;
  const rdm::Uid u{0x7A7000000001ULL};
  auto rigWith = [&](DiscoveryFault fault) {
    virtualline::Rig rig;
    rig.fixtures = {Plain(u)};
    rig.fixtures[0].discoveryFault = fault;
    rig.fixtures[0].discoveryUid = 0x7B0000000009ULL;
    return rig;
  };
  auto answerUid = [](RdmHarness<>& h, AnyUid lower, AnyUid upper) -> std::optional<rdm::Uid> {
    rdm::RdmAnswer a = h.engine.DiscoveryBranch(lower, upper);
    rdm::DiscoveryResult r = rdm::DecodeDiscoveryAnswer(a.response, a.receivedBytes);
    if (r.outcome != rdm::DiscoveryOutcome::Valid) return std::nullopt;
    return r.uid;
  };
  auto mute = [&](RdmHarness<>& h) {
    return h.engine.RdmTransact({rdm::DISCOVERY_COMMAND, pid::DISC_MUTE, {}}, u, false).Ok();
  };
  {
    RdmHarness<> h(rigWith(DiscoveryFault::FlakyMute));
    EXPECT_FALSE(mute(h)) << "the first two mutes (the engine repeats one) go unanswered";
    EXPECT_EQ(answerUid(h, u, u), u) << "and is not obeyed";
    EXPECT_TRUE(mute(h));
    EXPECT_EQ(answerUid(h, u, u), std::nullopt);
  }
  {
    RdmHarness<> h(rigWith(DiscoveryFault::AnyRange));
    EXPECT_EQ(answerUid(h, 0, 5), u);
    EXPECT_EQ(answerUid(h, u + 1, u), u) << "even an empty range";
    EXPECT_TRUE(mute(h));
    EXPECT_EQ(answerUid(h, 0, 5), std::nullopt);
  }
  {
    RdmHarness<> h(rigWith(DiscoveryFault::OtherUid));
    EXPECT_EQ(answerUid(h, u, u), rdm::Uid(0x7B0000000009ULL));
    EXPECT_EQ(answerUid(h, 0x7B0000000009ULL, 0x7B0000000009ULL), std::nullopt);
    EXPECT_TRUE(h.Get(u, pid::DEVICE_INFO).Ok()) << "other requests under its own UID";
  }
  {
    RdmHarness<> h(rigWith(DiscoveryFault::AnswersWhenMuted));
    EXPECT_TRUE(mute(h));
    EXPECT_EQ(answerUid(h, u, u), u);
  }
}

TEST(LineOverflow, LongAnswersComeInPiecesUntilTheFinalAck) {
  virtualline::Rig rig;
  rig.fixtures = {Plain(0x7A7000000001ULL)};
  rig.fixtures[0].overflowAfter = 4;
  rig.fixtures[0].supportedPids = {0x0080, 0x0081, 0x0082, 0x00E0, 0x00E1};
  RdmHarness<> h(rig);
  const std::vector<std::vector<uint8_t>> pieces{
      {0x00, 0x80, 0x00, 0x81}, {0x00, 0x82, 0x00, 0xE0}, {0x00, 0xE1}};
  for (size_t k = 0; k < pieces.size(); ++k) {
    rdm::RdmAnswer a = h.Get(0x7A7000000001ULL, pid::SUPPORTED_PARAMETERS);
    ASSERT_TRUE(a.Ok());
    EXPECT_EQ(a.ResponseType(),
              k + 1 < pieces.size() ? rdm::RESPONSE_TYPE_ACK_OVERFLOW : rdm::RESPONSE_TYPE_ACK);
    EXPECT_EQ(std::vector<uint8_t>(a.Data().begin(), a.Data().end()), pieces[k]);
  }
  // Asked anew, it starts again from the first piece.
  EXPECT_EQ(h.Get(0x7A7000000001ULL, pid::SUPPORTED_PARAMETERS).Data()[1], 0x80);
}
