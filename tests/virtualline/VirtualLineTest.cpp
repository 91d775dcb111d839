#include <gtest/gtest.h>

#include "RdmHarness.h"
#include "rdm/KnownPids.h"

using namespace velquor;
using namespace velquor::testsupport;
using virtualline::Fault;
using virtualline::FaultKind;
namespace pid = rdm::pid;

namespace {

struct Line : ::testing::Test {
  RdmHarness<> h;

  // Sends a discovery-class request straight through the link and decodes the answer the
  // way discovery does.
  rdm::DiscoveryResult Branch(rdm::Uid lower, rdm::Uid upper) {
    rdm::RdmImage image{};
    rdm::PrimeRequestImage(image);
    image[rdm::kCommandClass] = rdm::DISCOVERY_COMMAND;
    image[rdm::kPid + 1] = 0x01;
    image[rdm::kPdl] = 12;
    rdm::WriteUid(&image[24], lower);
    rdm::WriteUid(&image[30], upper);
    rdm::CompleteRequest(image, rdm::BroadcastUid);
    h.link.LinkSend(link::LINK_MODE_RDM, std::span(image.data(), 62));
    rdm::RdmImage response;
    response.fill(0xFF);
    uint16_t n = h.link.LinkReceive(response);
    return rdm::DecodeDiscoveryResponse(response, n, lower, upper);
  }
  rdm::RdmAnswer Disc(rdm::Uid uid, uint16_t which) {
    return h.engine.RdmTransact({rdm::DISCOVERY_COMMAND, which, {}}, uid, true);
  }
  std::string Text(const rdm::RdmAnswer& a) { return {a.Data().begin(), a.Data().end()}; }
};

}  // namespace

TEST_F(Line, UniqueBranchFindsOneCollidesOnManyAndIsSilentOnNone) {
  auto all = Branch(0, rdm::kUidMask);
  EXPECT_EQ(all.outcome, rdm::DiscoveryOutcome::Collision);

  auto one = Branch(kSpot1, kSpot1);
  EXPECT_EQ(one.outcome, rdm::DiscoveryOutcome::Valid);
  EXPECT_EQ(one.uid, kSpot1);

  auto range = Branch(0x7FF400000000ULL, 0x7FF4FFFFFFFFULL);
  EXPECT_EQ(range.outcome, rdm::DiscoveryOutcome::Valid);
  EXPECT_EQ(range.uid, kRadio);

  EXPECT_EQ(Branch(0x100000000000ULL, 0x200000000000ULL).outcome, rdm::DiscoveryOutcome::NoAnswer);
}

TEST_F(Line, MutedRespondersLeaveTheBranchUntilUnmuted) {
  rdm::RdmAnswer a = Disc(kSpot1, pid::DISC_MUTE);
  ASSERT_TRUE(a.Ok());
  EXPECT_EQ(a.Pdl(), 2);  // control field
  EXPECT_EQ(a.response[rdm::kCommandClass], rdm::DISCOVERY_COMMAND_RESPONSE);
  EXPECT_TRUE(*h.line.IsMuted(kSpot1));
  EXPECT_EQ(Branch(kSpot1, kSpot2).uid, kSpot2) << "only the unmuted one answers";

  EXPECT_FALSE(Disc(rdm::BroadcastUid, pid::DISC_UN_MUTE).Ok()) << "no answer to broadcast";
  EXPECT_FALSE(*h.line.IsMuted(kSpot1));
  EXPECT_EQ(Branch(kSpot1, kSpot2).outcome, rdm::DiscoveryOutcome::Collision);
}

TEST_F(Line, ResponderThatNeverAcknowledgesMute) {
  Fault f;
  f.kind = FaultKind::IgnoreMute;
  h.line.InjectFault(kSpot1, f);
  EXPECT_FALSE(Disc(kSpot1, pid::DISC_MUTE).Ok());
  EXPECT_FALSE(*h.line.IsMuted(kSpot1));
  EXPECT_EQ(Branch(kSpot1, kSpot1).uid, kSpot1);
}

TEST_F(Line, SilentResponderDoesNotEvenAnswerDiscovery) {
  Fault f;
  f.kind = FaultKind::NoAnswer;
  h.line.InjectFault(kSpot1, f);
  EXPECT_EQ(Branch(kSpot1, kSpot2).uid, kSpot2);
}

TEST_F(Line, SetsChangeWhatLaterGetsReturn) {
  std::string label = "Downstage Left";
  ASSERT_TRUE(h.Set(kSpot1, pid::DEVICE_LABEL, {label.begin(), label.end()}).Ok());
  EXPECT_EQ(Text(h.Get(kSpot1, pid::DEVICE_LABEL)), label);

  ASSERT_EQ(h.Set(kSpot1, pid::DMX_START_ADDRESS, {0x01, 0x2C}).ResponseType(), 0);
  EXPECT_EQ(rdm::ReadU16(h.Get(kSpot1, pid::DMX_START_ADDRESS).Data().data()), 300);
  EXPECT_EQ(h.line.FixtureState(kSpot1)->startAddress, 300);

  ASSERT_EQ(h.Set(kSpot1, pid::DMX_PERSONALITY, {2}).ResponseType(), 0);
  rdm::RdmAnswer info = h.Get(kSpot1, pid::DEVICE_INFO);
  EXPECT_EQ(rdm::ReadU16(&info.Data()[10]), 22) << "footprint of personality 2";
  EXPECT_EQ(info.Data()[12], 2);
  EXPECT_EQ(info.Data()[13], 3);

  rdm::RdmAnswer desc = h.Get(kSpot1, pid::DMX_PERSONALITY_DESCRIPTION, {3});
  EXPECT_EQ(desc.Data()[0], 3);
  EXPECT_EQ(rdm::ReadU16(&desc.Data()[1]), 12);
  EXPECT_EQ(std::string(desc.Data().begin() + 3, desc.Data().end()), "Basic");

  ASSERT_TRUE(h.Set(kSpot1, pid::PAN_INVERT, {1}).Ok());
  EXPECT_EQ(h.Get(kSpot1, pid::PAN_INVERT).Data()[0], 1);
  ASSERT_TRUE(h.Set(kSpot1, pid::LAMP_STATE, {0}).Ok());
  EXPECT_EQ(h.Get(kSpot1, pid::LAMP_STATE).Data()[0], 0);
  ASSERT_TRUE(h.Set(kSpot1, pid::DEVICE_HOURS, {0, 0, 1, 0}).Ok());
  EXPECT_EQ(h.line.FixtureState(kSpot1)->deviceHours, 256u);
  ASSERT_TRUE(h.Set(kSpot1, pid::IDENTIFY_DEVICE, {1}).Ok());
  EXPECT_EQ(h.Get(kSpot1, pid::IDENTIFY_DEVICE).Data()[0], 1);
  ASSERT_TRUE(h.Set(kSpot1, pid::RESET_DEVICE, {1}).Ok());
  EXPECT_EQ(h.Get(kSpot1, pid::IDENTIFY_DEVICE).Data()[0], 0);
}

TEST_F(Line, RefusesWhatAResponderWouldRefuse) {
  auto nack = [&](const rdm::RdmAnswer& a) {
    EXPECT_EQ(a.ResponseType(), rdm::RESPONSE_TYPE_NACK_REASON);
    return a.Pdl() == 2 ? rdm::ReadU16(a.Data().data()) : 0xFFFF;
  };
  EXPECT_EQ(nack(h.Set(kSpot1, pid::DMX_START_ADDRESS, {0x02, 0x01})), 0x0006);  // 513
  EXPECT_EQ(nack(h.Set(kSpot1, pid::DMX_START_ADDRESS, {0x00, 0x00})), 0x0006);
  EXPECT_EQ(nack(h.Set(kSpot1, pid::DMX_PERSONALITY, {4})), 0x0006);
  EXPECT_EQ(nack(h.Set(kSpot1, pid::DMX_START_ADDRESS, {0x01})), 0x0001);
  EXPECT_EQ(nack(h.Set(kSpot1, pid::MANUFACTURER_LABEL, {'x'})), 0x0005);
  EXPECT_EQ(nack(h.Get(kSpot1, pid::RESET_DEVICE)), 0x0005);
  EXPECT_EQ(nack(h.Get(0x7FF300000401ULL, pid::PAN_INVERT)), 0x0000) << "a hazer has no pan";
  EXPECT_EQ(nack(h.Get(kSpot1, pid::RADIO_CHANNEL)), 0x0000);
  EXPECT_EQ(nack(h.Set(kSpot1, pid::DEVICE_LABEL, std::vector<uint8_t>(33, 'a'))), 0x0001);
  EXPECT_EQ(h.line.FixtureState(kSpot1)->startAddress, 1) << "nothing changed";
}

TEST_F(Line, SupportedParametersAndStatusMessages) {
  rdm::RdmAnswer sp = h.Get(kSpot1, pid::SUPPORTED_PARAMETERS);
  EXPECT_EQ(sp.Pdl(), 26);  // 13 parameters of a moving head
  EXPECT_EQ(rdm::ReadU16(sp.Data().data()), pid::DEVICE_LABEL);

  const rdm::Uid spot3 = 0x7FF000000103ULL;
  rdm::RdmAnswer warn = h.Get(spot3, pid::STATUS_MESSAGES, {0x02});
  ASSERT_EQ(warn.Pdl(), 9);
  EXPECT_EQ(warn.Data()[2], 0x03);
  EXPECT_EQ(h.Get(spot3, pid::STATUS_MESSAGES, {0x04}).Pdl(), 0) << "nothing as bad as an error";
  EXPECT_EQ(h.Get(kSpot1, pid::STATUS_MESSAGES, {0x02}).Pdl(), 0);
}

TEST_F(Line, RadioReceiverAnswersItsChannelEvenOnBroadcast) {
  rdm::RdmAnswer a = h.Get(rdm::BroadcastUid, pid::RADIO_CHANNEL);
  ASSERT_TRUE(a.Ok());
  EXPECT_EQ(a.Data()[0], 3);
  ASSERT_TRUE(h.Set(rdm::BroadcastUid, pid::RADIO_CHANNEL, {7}).Ok());
  EXPECT_EQ(h.line.FixtureState(kRadio)->radioChannel, 7);
  EXPECT_EQ(h.Get(kRadio, pid::RADIO_CHANNEL).Data()[0], 7);
}

TEST_F(Line, CarriesDmxBothWays) {
  std::vector<uint8_t> universe(527, 0);
  universe[0] = 255;
  universe[511] = 17;
  h.link.LinkSend(link::LINK_MODE_DMX, universe);
  auto line = h.line.LineDmx();
  EXPECT_EQ(line[0], 255);
  EXPECT_EQ(line[511], 17);

  std::vector<uint8_t> input(512, 0);
  input[200] = 99;
  h.line.SetInputUniverse(input);
  std::vector<uint8_t> received(527, 0);
  for (int i = 0; i < 17; ++i) {
    h.link.LinkPollInput([&](size_t offset, std::span<const uint8_t, 31> bytes) {
      std::copy(bytes.begin(), bytes.end(), received.begin() + static_cast<ptrdiff_t>(offset));
    });
  }
  EXPECT_EQ(received[200], 99);
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

TEST_F(Line, IdleReportsCarryNoKnownCode) {
  link::LinkFrame frame;
  ASSERT_EQ(h.line.GetReport(frame), 33);
  EXPECT_EQ(link::RdmChunkIndex(frame[0]), -1);
  EXPECT_EQ(link::DmxChunkIndex(frame[0]), -1);
}

TEST_F(Line, DamagedRequestsAreIgnored) {
  rdm::RdmImage image{};
  rdm::PrimeRequestImage(image);
  image[rdm::kCommandClass] = rdm::GET_COMMAND;
  image[rdm::kPid + 1] = 0x60;
  rdm::CompleteRequest(image, kSpot1);
  image[25] ^= 0x01;  // checksum
  h.link.LinkSend(link::LINK_MODE_RDM, std::span(image.data(), 31));
  EXPECT_EQ(h.line.Stats().badRequests, 1u);
  EXPECT_EQ(h.line.QueuedFrames(), 0u);
}
