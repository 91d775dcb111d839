#include <gtest/gtest.h>

#include <set>

#include "rdm/Codec.h"
#include "rdm/KnownPids.h"
#include "rdm/RdmEngine.h"

using namespace velquor::rdm;

TEST(Uid, TextFormsAndWireOrder) {
  EXPECT_EQ(UidText(Uid(0x1234, 0x5678)), "123400005678");
  EXPECT_EQ(UidText(Uid(0x0001, 0x00000002)), "100000002");  // 9 digits
  EXPECT_EQ(UidText(Uid(0x12)), "000012");                   // at least 6
  EXPECT_EQ(UidText12(Uid(0x0001, 2)), "000100000002");
  EXPECT_EQ(UidText(BroadcastUid), "FFFFFFFFFFFF");

  uint8_t wire[6];
  ControllerUid.Write(wire);
  EXPECT_EQ(std::vector<uint8_t>(wire, wire + 6),
            (std::vector<uint8_t>{0x88, 0x88, 0x00, 0x00, 0x00, 0x01}));
  EXPECT_EQ(Uid::Read(wire), ControllerUid);

  EXPECT_EQ(Uid::Parse("7FF0:00000101"), Uid(0x7FF0, 0x101));
  EXPECT_EQ(Uid::Parse("0x7ff000000101"), Uid(0x7FF0, 0x101));
  EXPECT_EQ(Uid::Parse("7FF000000101"), Uid(0x7FF0, 0x101));
  for (const char* wrong : {"7FF0:0000010G", "1234567890ABC", "", "7FF0:0102", "7FF:000000101",
                            "7FF0000001", "0x7FF0:00000101", "7FF0:00000101 ", "+7FF000000101"}) {
    EXPECT_FALSE(Uid::Parse(wrong).has_value()) << wrong;
  }
  EXPECT_TRUE(BroadcastUid.IsBroadcast());
  EXPECT_TRUE(Uid(0x7FF0, 0xFFFFFFFF).IsBroadcast()) << "every device of one manufacturer";
  EXPECT_FALSE(Uid(0x7FF0, 0xFFFFFFFE).IsBroadcast());
  EXPECT_LT(Uid(0x7FF0, 0xFFFFFFFF), Uid(0x7FF1, 0)) << "ordered as 48-bit numbers";
  EXPECT_EQ(Uid(0x7FF0, 0xFFFFFFFF).Next(), Uid(0x7FF1, 0));
}

TEST(RequestImage, FirstGetDeviceInfoMatchesTheDocumentedLine) {
  RdmImage image{};
  PrimeRequestImage(image);
  image[kCommandClass] = GET_COMMAND;
  image[kPid] = 0x00;
  image[kPid + 1] = 0x60;
  image[kPdl] = 0;
  CompleteRequest(image, Uid(0x1234, 0x5678));
  EXPECT_EQ(FormatRdmLine(image),
            "CC 01 18 123400005678 888800000001 01 00 00 0000 20 0060 00 038B");
  EXPECT_EQ(image[24], 0x03);
  EXPECT_EQ(image[25], 0x8B);

  // The transaction number wraps in 8 bits and the checksum follows it.
  image[kTransaction] = 0xFF;
  CompleteRequest(image, Uid(0x1234, 0x5678));
  EXPECT_EQ(image[kTransaction], 0x00);
  EXPECT_EQ(ReadU16(&image[24]), 0x038B - 1);
}

TEST(RequestImage, ChecksumStandsAfterTheData) {
  RdmImage image{};
  PrimeRequestImage(image);
  image[kCommandClass] = SET_COMMAND;
  image[kPid + 1] = 0xF0;
  image[kPdl] = 2;
  image[24] = 0x01;
  image[25] = 0x02;
  CompleteRequest(image, BroadcastUid);
  EXPECT_EQ(image[kMessageLength], 26);
  unsigned sum = 0;  // added up here, not by the code under test
  for (size_t i = 0; i < 26; ++i) sum += image[i];
  EXPECT_EQ(ReadU16(&image[26]), sum & 0xFFFF);
  EXPECT_TRUE(CheckResponse(image));
}

namespace {
RdmImage MakeResponse(uint8_t pdl) {
  RdmImage image;
  image.fill(0xFF);
  image[0] = 0xCC;
  image[1] = 0x01;
  image[2] = static_cast<uint8_t>(24 + pdl);
  for (size_t i = 3; i < 24u + pdl; ++i) image[i] = static_cast<uint8_t>(i);
  image[kPdl] = pdl;
  unsigned sum = 0;
  for (size_t i = 0; i < 24u + pdl; ++i) sum += image[i];
  image[24 + pdl] = static_cast<uint8_t>(sum >> 8);
  image[25 + pdl] = static_cast<uint8_t>(sum);
  return image;
}
}  // namespace

TEST(ResponseCheck, AcceptsGoodAndRejectsDamagedOrForeign) {
  RdmImage r = MakeResponse(0);
  EXPECT_TRUE(CheckResponse(r));  // PDL 0: checksum at 24 and 25
  r[kPortOrResponseType] = RESPONSE_TYPE_NACK_REASON;
  EXPECT_FALSE(CheckResponse(r)) << "the type byte is inside the sum";

  RdmImage big = MakeResponse(60);
  EXPECT_TRUE(CheckResponse(big)) << "verified over the full length beyond 29 data bytes";
  big[80] ^= 1;
  EXPECT_FALSE(CheckResponse(big));

  RdmImage lying = MakeResponse(4);
  lying[2] = 27;  // length byte disagrees with 24 + PDL
  EXPECT_FALSE(CheckResponse(lying));

  RdmImage notRdm = MakeResponse(0);
  notRdm[0] = 0xCD;
  EXPECT_FALSE(CheckResponse(notRdm));
}

TEST(LogLine, ShowsAtMost29DataBytesThenTheBytesAtOffset53) {
  RdmImage r = MakeResponse(40);
  std::string line = FormatRdmLine(r);
  // 13 header groups, 29 data bytes, then 4 digits for bytes 53 and 54.
  size_t groups = static_cast<size_t>(std::count(line.begin(), line.end(), ' ')) + 1;
  EXPECT_EQ(groups, 13u + 29u);
  EXPECT_EQ(line.substr(line.size() - 4), "3536");    // bytes 53 and 54 hold 0x35, 0x36
  EXPECT_EQ(line.substr(line.size() - 7, 3), "34 ");  // the last data byte shown is offset 52

  RdmImage small = MakeResponse(2);
  std::string smallLine = FormatRdmLine(small);
  char checksum[5];
  std::snprintf(checksum, sizeof checksum, "%04X", ReadU16(&small[26]));
  EXPECT_EQ(smallLine.substr(smallLine.size() - 4), checksum);
  EXPECT_EQ(smallLine.substr(smallLine.size() - 10, 6), "18 19 ") << "both data bytes shown";
}

namespace {
// A discovery answer as a responder puts it on the wire, at `at` in a 0xFF-filled image.
RdmImage DiscoveryImage(Uid uid, size_t at, size_t preamble = 7) {
  RdmImage image;
  image.fill(0xFF);
  size_t p = at;
  for (size_t i = 0; i < preamble; ++i) image[p++] = 0xFE;
  image[p++] = 0xAA;
  uint16_t sum = 0;
  for (int i = 5; i >= 0; --i) {
    uint8_t b = static_cast<uint8_t>(uid.Value() >> (8 * i));
    image[p++] = b | 0xAA;
    image[p++] = b | 0x55;
    sum = static_cast<uint16_t>(sum + (b | 0xAA) + (b | 0x55));
  }
  image[p++] = static_cast<uint8_t>((sum >> 8) | 0xAA);
  image[p++] = static_cast<uint8_t>((sum >> 8) | 0x55);
  image[p++] = static_cast<uint8_t>((sum & 0xFF) | 0xAA);
  image[p++] = static_cast<uint8_t>((sum & 0xFF) | 0x55);
  return image;
}
}  // namespace

TEST(DiscoveryDecode, ValidAnswersWithinBoundsAndSeparatorLimits) {
  const Uid uid = Uid(0x7FF0, 0x101);
  auto r = DecodeDiscoveryResponse(DiscoveryImage(uid, 0), 31, Uid(), BroadcastUid);
  EXPECT_EQ(r.outcome, DiscoveryOutcome::Valid);
  EXPECT_EQ(r.uid, uid);

  // Separator at offset 48 is the last one looked for; at 49 it is not found.
  EXPECT_EQ(DecodeDiscoveryResponse(DiscoveryImage(uid, 41), 93, Uid(), BroadcastUid).outcome,
            DiscoveryOutcome::Valid);
  EXPECT_EQ(DecodeDiscoveryResponse(DiscoveryImage(uid, 42), 93, Uid(), BroadcastUid).outcome,
            DiscoveryOutcome::Collision);

  // Right checksum, UID outside what was asked.
  EXPECT_EQ(DecodeDiscoveryResponse(DiscoveryImage(uid, 0), 31, uid.Next(), BroadcastUid).outcome,
            DiscoveryOutcome::Collision);
  EXPECT_EQ(DecodeDiscoveryResponse(DiscoveryImage(uid, 0), 31, Uid(), uid.Previous()).outcome,
            DiscoveryOutcome::Collision);
  EXPECT_EQ(DecodeDiscoveryResponse(DiscoveryImage(uid, 0), 31, uid, uid).outcome,
            DiscoveryOutcome::Valid);

  RdmImage damaged = DiscoveryImage(uid, 0);
  damaged[23] ^= 0x02;  // low checksum byte
  EXPECT_EQ(DecodeDiscoveryResponse(damaged, 31, Uid(), BroadcastUid).outcome,
            DiscoveryOutcome::Collision);
}

TEST(DiscoveryDecode, NothingReceivedOrNoSeparator) {
  RdmImage image;
  image.fill(0xFF);
  EXPECT_EQ(DecodeDiscoveryResponse(image, 0, Uid(), BroadcastUid).outcome,
            DiscoveryOutcome::NoAnswer);
  EXPECT_EQ(DecodeDiscoveryResponse(image, 31, Uid(), BroadcastUid).outcome,
            DiscoveryOutcome::Collision);
  image.fill(0);
  EXPECT_EQ(DecodeDiscoveryResponse(image, 31, Uid(), BroadcastUid).outcome,
            DiscoveryOutcome::NoAnswer);
}

TEST(KnownPids, SeventyThreeItemsInConsoleOrder) {
  auto table = KnownPidTable();
  ASSERT_EQ(table.size(), 73u);
  EXPECT_EQ(KnownPidItemText(table[0]), "0x0001_E120_DISC_UNIQUE_BRANCH");
  EXPECT_EQ(KnownPidItemText(table[13]), "0x0060_E120_DEVICE_INFO");
  EXPECT_EQ(KnownPidItemText(table[30]), "0x0140_E137_1_DMX_BLOCK_ADDRESS");
  EXPECT_EQ(KnownPidItemText(table[72]), "0x1044_E137_1_POWER_ON_SELF_TEST");
  std::set<uint16_t> unique;
  for (size_t i = 0; i < table.size(); ++i) {
    unique.insert(table[i].pid);
    if (i > 0) {
      EXPECT_LT(table[i - 1].pid, table[i].pid) << "ascending at " << i;
    }
  }
  EXPECT_EQ(unique.size(), 73u);
  size_t e137 = 0;
  for (const auto& e : table) e137 += e.e137;
  EXPECT_EQ(e137, 3u + 9u + 1u + 3u + 5u);

  EXPECT_EQ(ParsePid("device_info"), 0x0060);
  EXPECT_EQ(ParsePid("0x0060_E120_DEVICE_INFO"), 0x0060);
  EXPECT_EQ(ParsePid("0x859A"), 0x859A);
  EXPECT_EQ(ParsePid("130"), 0x0082);
  EXPECT_FALSE(ParsePid("0x10000").has_value());
  EXPECT_FALSE(ParsePid("NOT_A_PID").has_value());
}

TEST(Names, NackReasonsAndResponseTypes) {
  EXPECT_EQ(NackReasonName(0x0000), "NR_UNKNOWN_PID");
  EXPECT_EQ(NackReasonName(0x0006), "NR_DATA_OUT_OF_RANGE");
  EXPECT_EQ(NackReasonName(0x0009), "NR_SUB_DEVICE_OUT_OF_RANGE");
  EXPECT_EQ(NackReasonName(0x0123), "NACK reason 0x0123");
  EXPECT_EQ(ResponseTypeName(1), "ACK_TIMER");
  EXPECT_EQ(ResponseTypeName(9), "response type 0x09");
}
