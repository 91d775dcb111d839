#include <gtest/gtest.h>

#include <fstream>

#include "RdmHarness.h"
#include "rdm/DiscoverySearch.h"
#include "rdm/KnownPids.h"
#include "virtualline/Rig.h"

using namespace velquor;
using namespace velquor::testsupport;
using virtualline::CollisionMode;
using virtualline::DiscoveryFault;
using virtualline::FaultKind;
using virtualline::Fixture;
using virtualline::LoadRigFile;
using virtualline::ParseRig;

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

// Labels, addresses and flags set and read back are the workbench's tests' daily bread; here,
// what they do not reach.
TEST_F(Line, SetsChangeWhatLaterGetsReturn) {
  ASSERT_EQ(h.Set(kSpot1, pid::DMX_PERSONALITY, {2}).ResponseType(), 0);
  // DEVICE_INFO bytes 10..13: footprint 22 (personality 2's), personality 2 of 3.
  const auto info = Bytes(h.Get(kSpot1, pid::DEVICE_INFO));
  EXPECT_EQ(std::vector<uint8_t>(info.begin() + 10, info.begin() + 14),
            (std::vector<uint8_t>{0x00, 0x16, 0x02, 0x03}));
  EXPECT_EQ(Bytes(h.Get(kSpot1, pid::DMX_PERSONALITY_DESCRIPTION, {3})),
            (std::vector<uint8_t>{0x03, 0x00, 0x0C, 'B', 'a', 's', 'i', 'c'}));

  ASSERT_TRUE(h.Set(kSpot1, pid::IDENTIFY_DEVICE, {1}).Ok());
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

// Worked by hand at 250 kbaud (44 us a byte, 188 us of break and mark-after-break): GET
// DEVICE_INFO is 26 bytes, on the line until 1.332 ms; the answer starts 1 ms later, and its
// 45 bytes fill frame 0 at 3.884 ms and frame 1 at 4.5 ms. No frame exists before its bytes.
TEST_F(Line, AnswerFramesExistOnlyOnceTheirBytesHaveCrossedTheLineAndOnlyForWholeRequests) {
  SendGetDeviceInfo(true);  // damaged: ignored
  EXPECT_EQ(std::tuple(h.line.Stats().badRequests, h.line.QueuedFrames()), std::tuple(1u, 0u));
  SendGetDeviceInfo();
  const std::pair<double, int> polls[] = {{0, -1}, {3.85, -1}, {3.9, 0}, {4.45, -1}, {4.55, 1}};
  for (const auto& [ms, chunk] : polls) {
    h.clock.Advance(common::FromMs(ms) - h.clock.Now());
    link::LinkFrame frame;
    h.line.GetReport(frame);
    EXPECT_EQ(link::RdmChunkIndex(frame[0]), chunk) << ms << " ms";
  }
}

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
    virtualline::Rig rig;
    rig.collisions = c.mode;
    for (uint64_t uid : {0x7A7000000001ULL, 0x7A7000000002ULL}) {
      rig.fixtures.emplace_back().uid = uid;
      rig.fixtures.back().personalities = {{1, "Default"}};
    }
    RdmHarness<> h(rig);
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

TEST(Rig, MistakesAreReportedWithTheFixture) {
  // One fixture of UID 7FF0:00000001 with `more` fields.
  auto one = [](const std::string& more) {
    return "{\"fixtures\": [{\"uid\": \"7FF0:00000001\", " + more + "}]}";
  };
  const std::pair<std::string, const char*> cases[] = {
      {"{", "not valid JSON"},
      {"{\"fixtures\": 3}", "\"fixtures\" list"},
      {"{\"fixtures\": [{}]}", "fixture 1: \"uid\" is missing"},
      {"{\"fixtures\": [{\"uid\": \"7FF0:0001\"}]}", "12 hex digits"},
      {"{\"fixtures\": [{\"uid\": \"7FF0:FFFFFFFF\"}]}", "not a device UID"},
      {"{\"fixtures\": [{\"uid\": \"7FF0:00000001\"}, {\"uid\": \"7FF000000001\"}]}",
       "appears twice"},
      {"{\"collisions\": \"xor\", \"fixtures\": []}", "\"or\", \"and\" or \"garbled\""},
      {one("\"personality\": 2"), "names no listed personality"},
      {one("\"label\": \"123456789012345678901234567890123\""), "longer than 32"},
      {one("\"supportedPids\": [\"NOPE\"]"), "unknown parameter"},
      {one("\"startAddress\": 513"), "0 to 512"},
      {one("\"radioChannel\": 8"), "0 to 7"},
      {one("\"panInvert\": 1"), "true or false"},
      {one("\"personalities\": []"), "1 to 255"},
      {one("\"discoveryFault\": \"late\""), "must be none, ignoreMute"},
      {one("\"discoveryFault\": \"otherUid\""), "needs \"discoveryUid\""},
      {one("\"overflowAfter\": 231"), "0 to 230"},
  };
  for (const auto& [json, expected] : cases) {
    std::string error;
    EXPECT_FALSE(ParseRig(json, error)) << json;
    EXPECT_NE(error.find(expected), std::string::npos) << json << " gave: " << error;
  }
}

TEST(Rig, ReadsFromAFileAndNamesAMissingOne) {
  std::string path = ::testing::TempDir() + "velquor_rig_test.json";
  {
    std::ofstream out(path);
    out << R"({"collisions": "and", "fixtures": [
      {"uid": "7FF0:00000001", "discoveryFault": "otherUid", "discoveryUid": "7FF0:00000099",
       "overflowAfter": 8, "supportedPids": ["DEVICE_LABEL", "0x0400", 1537]},
      {"uid": "7FF0:00000002", "discoveryFault": "answersWhenMuted"}]})";
  }
  std::string error;
  auto rig = LoadRigFile(path, error);
  ASSERT_TRUE(rig) << error;
  ASSERT_EQ(rig->fixtures.size(), 2u);
  const Fixture& f = rig->fixtures[0];
  EXPECT_EQ(std::tuple(rig->collisions, f.uid, f.discoveryFault, f.discoveryUid, f.overflowAfter,
                       rig->fixtures[1].discoveryFault),
            std::tuple(CollisionMode::And, 0x7FF000000001ULL, DiscoveryFault::OtherUid,
                       0x7FF000000099ULL, 8, DiscoveryFault::AnswersWhenMuted));
  EXPECT_EQ(f.supportedPids, (std::vector<uint16_t>{0x0082, 0x0400, 0x0601}));
  EXPECT_EQ(ParseRig(R"({"fixtures": []})", error)->collisions, CollisionMode::Or)
      << "the overlap that breaks controllers is the default";
  EXPECT_FALSE(LoadRigFile(path + ".missing", error));
  EXPECT_NE(error.find("cannot read rig file"), std::string::npos);
}
