#include <gtest/gtest.h>

#include "rdm/Codec.h"
#include "rdm/KnownPids.h"
#include "rdm/RdmEngine.h"

using namespace velquor::rdm;

TEST(Uid, TextFormsAndWireOrder) {
  EXPECT_EQ(UidText(Uid(0x1234, 0x5678)), "123400005678");
  EXPECT_EQ(UidText(Uid(0x0001, 0x00000002)), "100000002");  // 9 digits
  EXPECT_EQ(UidText(Uid(0x12)), "000012");                   // at least 6
  EXPECT_EQ(UidText12(Uid(0x0001, 2)), "000100000002");

  uint8_t wire[6];
  ControllerUid.Write(wire);
  EXPECT_EQ(std::vector<uint8_t>(wire, wire + 6),
            (std::vector<uint8_t>{0x88, 0x88, 0x00, 0x00, 0x00, 0x01}));
  EXPECT_EQ(Uid::Read(wire), ControllerUid);

  for (const char* right : {"7FF0:00000101", "0x7ff000000101", "0X7FF000000101", "7FF000000101"}) {
    EXPECT_EQ(Uid::Parse(right), Uid(0x7FF0, 0x101)) << right;
  }
  for (const char* wrong :
       {"7FF0:0000010G", "1234567890ABC", "", "7FF0:0102", "7FF:000000101", "7FF0000001",
        "0x7FF0:00000101", "7FF0:00000101 ", "+7FF000000101", "1x7FF000000101"}) {
    EXPECT_FALSE(Uid::Parse(wrong).has_value()) << wrong;
  }
  // FFFF:FFFFFFFF, and every device of one manufacturer.
  EXPECT_TRUE(BroadcastUid.IsBroadcast() && Uid(0x7FF0, 0xFFFFFFFF).IsBroadcast());
  EXPECT_FALSE(Uid(0x7FF0, 0xFFFFFFFE).IsBroadcast());
  EXPECT_LT(Uid(0x7FF0, 0xFFFFFFFF), Uid(0x7FF1, 0)) << "ordered as 48-bit numbers";
  EXPECT_EQ(Uid(0x7FF0, 0xFFFFFFFF).Next(), Uid(0x7FF1, 0));
}

// Requests as they go out, checksums added up by hand.
TEST(RequestImage, RequestsWorkedByHand) {
  auto request = [](uint8_t commandClass, uint8_t pid, std::vector<uint8_t> data, Uid to,
                    uint8_t lastTransaction = 0) {
    RdmImage image{};
    PrimeRequestImage(image);
    image[kTransaction] = lastTransaction;
    image[kCommandClass] = commandClass;
    image[kPid + 1] = pid;
    image[kPdl] = static_cast<uint8_t>(data.size());
    std::copy(data.begin(), data.end(), image.begin() + kData);
    CompleteRequest(image, to);
    EXPECT_TRUE(CheckResponse(image));
    return FormatRdmLine(image);
  };
  EXPECT_EQ(request(GET_COMMAND, 0x60, {}, Uid(0x1234, 0x5678)),
            "CC 01 18 123400005678 888800000001 01 00 00 0000 20 0060 00 038B");
  // 0xCC + 0x01 + 0x1A + 6 * 0xFF + 0x111 + 0x01 + 0x30 + 0xF0 + 0x02 + 0x01 +
  // 0x02 = 0x0918
  EXPECT_EQ(request(SET_COMMAND, 0xF0, {0x01, 0x02}, BroadcastUid),
            "CC 01 1A FFFFFFFFFFFF 888800000001 01 00 00 0000 30 00F0 02 01 02 0918");
  // The transaction number wraps in 8 bits and the checksum follows it.
  EXPECT_EQ(request(GET_COMMAND, 0x60, {}, Uid(0x1234, 0x5678), 0xFF),
            "CC 01 18 123400005678 888800000001 00 00 00 0000 20 0060 00 038A");
}

namespace {
// A response of `pdl` data bytes whose byte i is i, with its checksum.
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
  // A response of PDL bytes, byte `at` set to `value` (at 0: as made); whether it is good.
  const std::tuple<const char*, uint8_t, size_t, uint8_t, bool> cases[] = {
      {"PDL 0: checksum at 24 and 25", 0, 0, 0, true},
      {"the type byte is inside the sum", 0, kPortOrResponseType, RESPONSE_TYPE_NACK_REASON, false},
      {"verified over the full length beyond 29 data bytes", 60, 0, 0, true},
      {"a data byte past 29 damaged", 60, 80, 81, false},
      {"length byte disagrees with 24 + PDL", 4, 2, 27, false},
      {"not RDM", 0, 0, 0xCD, false},
  };
  for (const auto& [what, pdl, at, value, good] : cases) {
    RdmImage r = MakeResponse(pdl);
    if (at || value) r[at] = value;
    EXPECT_EQ(CheckResponse(r), good) << what;
  }
  // Whose answer it is: the device the request named, with the request's transaction number.
  const std::tuple<const char*, Uid, uint8_t, uint8_t, bool> whose[] = {
      {"the device asked, same transaction", Uid(0x1234, 0x5678), 0x12, 0x12, true},
      {"another device's whole answer", Uid(0x1234, 0x5679), 0x12, 0x12, false},
      {"a late answer to the request before", Uid(0x1234, 0x5678), 0x11, 0x12, false},
      {"nothing answers a broadcast: let through", BroadcastUid, 0x07, 0x12, true},
  };
  for (const auto& [what, from, answerTn, requestTn, taken] : whose) {
    RdmImage request{};
    PrimeRequestImage(request);
    request[kTransaction] = static_cast<uint8_t>(requestTn - 1);
    CompleteRequest(request, from == BroadcastUid ? BroadcastUid : Uid(0x1234, 0x5678));
    RdmImage answer = MakeResponse(0);
    Uid(0x1234, from.Device() & 0xFFFF).Write(&answer[kSourceUid]);  // 1234:0000xxxx
    answer[kTransaction] = answerTn;
    EXPECT_EQ(AnswersRequest(answer, request), taken) << what;
  }
}

TEST(LogLine, ShowsAtMost29DataBytesThenTheBytesAtOffset53) {
  // Two data bytes: both shown, then the checksum 0x0214 (0xE7 + 3 + ... + 25 -
  // 23 + 2).
  EXPECT_EQ(FormatRdmLine(MakeResponse(2)),
            "CC 01 1A 030405060708 090A0B0C0D0E 0F 10 11 1213 14 1516 02 18 19 0214");
  // Forty: the first 29 (offsets 24..52), then bytes 53 and 54 as four digits.
  EXPECT_EQ(FormatRdmLine(MakeResponse(40)),
            "CC 01 40 030405060708 090A0B0C0D0E 0F 10 11 1213 14 1516 28 18 19 1A 1B "
            "1C 1D 1E 1F "
            "20 21 22 23 24 25 26 27 28 29 2A 2B 2C 2D 2E 2F 30 31 32 33 34 3536");
}

namespace {
// 7A70:00000001's discovery answer, worked by hand (each byte as b|0xAA,
// b|0x55; checksum 0x06E5, the sum of the twelve encoded bytes), at `at` in a
// 0xFF-filled image.
RdmImage DiscoveryImage(size_t at) {
  const uint8_t answer[] = {0xAA, 0xFA, 0x7F, 0xFA, 0x75, 0xAA, 0x55, 0xAA, 0x55,
                            0xAA, 0x55, 0xAB, 0x55, 0xAE, 0x57, 0xEF, 0xF5};
  RdmImage image;
  image.fill(0xFF);
  std::fill_n(image.begin() + static_cast<ptrdiff_t>(at), 7, 0xFE);
  std::copy(std::begin(answer), std::end(answer), image.begin() + static_cast<ptrdiff_t>(at + 7));
  return image;
}
}  // namespace

TEST(DiscoveryDecode, ValidAnswersWithinBoundsAndSeparatorLimits) {
  const Uid uid(0x7A70, 1);
  using O = DiscoveryOutcome;
  RdmImage damaged = DiscoveryImage(0);
  damaged[23] ^= 0x02;  // low checksum byte
  RdmImage empty;
  empty.fill(0xFF);
  RdmImage zeros{};
  // The bytes received, the branch's range, what they are.
  const std::tuple<const char*, RdmImage, uint16_t, Uid, Uid, O> cases[] = {
      {"whole range", DiscoveryImage(0), 31, Uid(), BroadcastUid, O::Valid},
      {"its own UID", DiscoveryImage(0), 31, uid, uid, O::Valid},
      {"separator at 48, the last looked for", DiscoveryImage(41), 93, Uid(), BroadcastUid,
       O::Valid},
      {"separator at 49", DiscoveryImage(42), 93, Uid(), BroadcastUid, O::Collision},
      {"above the range", DiscoveryImage(0), 31, uid.Next(), BroadcastUid, O::Collision},
      {"below the range", DiscoveryImage(0), 31, Uid(), uid.Previous(), O::Collision},
      {"checksum damaged", damaged, 31, Uid(), BroadcastUid, O::Collision},
      {"nothing received", empty, 0, Uid(), BroadcastUid, O::NoAnswer},
      {"bytes without a separator", empty, 31, Uid(), BroadcastUid, O::Collision},
      {"zeros only", zeros, 31, Uid(), BroadcastUid, O::NoAnswer},
  };
  for (const auto& [what, image, received, lower, upper, outcome] : cases) {
    const DiscoveryResult r = DecodeDiscoveryResponse(image, received, lower, upper);
    EXPECT_EQ(r.outcome, outcome) << what;
    EXPECT_EQ(r.uid, outcome == O::Valid ? uid : Uid()) << what;
  }
}

TEST(KnownPids, SeventyThreeItemsInConsoleOrderAndTheNamesOfAnswers) {
  auto table = KnownPidTable();
  ASSERT_EQ(table.size(), 73u);
  EXPECT_EQ(std::tuple(KnownPidItemText(table[13]), KnownPidItemText(table[30])),
            std::tuple("0x0060_E120_DEVICE_INFO", "0x0140_E137_1_DMX_BLOCK_ADDRESS"));
  for (size_t i = 1; i < table.size(); ++i) {
    EXPECT_LT(table[i - 1].pid, table[i].pid) << "ascending, once each, at " << i;
  }

  const std::pair<const char*, uint16_t> parsed[] = {{"device_info", 0x0060},
                                                     {"0x0060_E120_DEVICE_INFO", 0x0060},
                                                     {"0x859A", 0x859A},
                                                     {"130", 0x0082}};
  for (auto [text, pid] : parsed) EXPECT_EQ(ParsePid(text), pid) << text;
  EXPECT_FALSE(ParsePid("0x10000") || ParsePid("NOT_A_PID"));
  // The last E1.20 NACK reason, then numbers for what E1.20 does not name.
  EXPECT_EQ(std::tuple(NackReasonName(0x000A), NackReasonName(0x000B), ResponseTypeName(9)),
            std::tuple("NR_PROXY_BUFFER_FULL", "NACK reason 0x000B", "response type 0x09"));
}
