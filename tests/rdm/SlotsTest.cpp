#include <gtest/gtest.h>

#include "rdm/Decoders.h"
#include "rdm/Slots.h"

using namespace velquor::rdm;
using Bytes = std::vector<uint8_t>;

TEST(Slots, AnswersDecodeFieldByFieldAndDropTrailingParts) {
  const Bytes info = {
      0x00, 0x00, 0x00, 0x01, 0x01,  // slot 0: primary, SD_PAN
      0x00, 0x01, 0x01, 0x00, 0x00,  // slot 1: fine, its primary slot 0
      0x01, 0x02, 0x00, 0x00, 0x01,  // slot 258: primary, SD_INTENSITY
      0x00, 0x03, 0x00,              // part of a slot
  };
  EXPECT_EQ(DecodeSlotInfo(info),
            (std::vector<SlotInfo>{{0, 0x00, 0x0101}, {1, 0x01, 0x0000}, {258, 0x00, 0x0001}}));

  const auto d = DecodeSlotDescription(Bytes{0x01, 0x11, 'P', 'a', 'n', ' ', 'f', 'i', 'n', 'e'});
  ASSERT_TRUE(d);
  EXPECT_EQ(std::pair(d->offset, d->text), std::pair(uint16_t{273}, std::string("Pan fine")));
  EXPECT_FALSE(DecodeSlotDescription(Bytes{0x00})) << "no whole slot number";

  const Bytes defaults = {0x00, 0x00, 0x80,  // slot 0: 128
                          0x01, 0x00, 0xFF,  // slot 256: 255
                          0x00, 0x02};       // part of a slot
  EXPECT_EQ(DecodeDefaultSlotValues(defaults), (std::vector<SlotDefault>{{0, 128}, {256, 255}}));

  // DMX_PERSONALITY_DESCRIPTION: personality, a 16-bit footprint, the text.
  const auto p = DecodePersonalityDescription(Bytes{0x02, 0x01, 0x02, 'W', 'i', 'd', 'e'});
  ASSERT_TRUE(p);
  EXPECT_EQ(std::tuple(p->number, p->footprint, p->text), std::tuple(2, 258, "Wide"));

  EXPECT_EQ(SlotTypeName(0x01), "Fine");
  EXPECT_EQ(SlotTypeName(0x07), "Index rotate");
  EXPECT_EQ(SlotTypeName(0xFF), "Undefined");
  EXPECT_EQ(SlotTypeName(0x08), "type 0x08");
  EXPECT_EQ(SlotLabelName(0x0102), "Tilt");
  EXPECT_EQ(SlotLabelName(0x0210), "Color Semaphore");
  EXPECT_EQ(SlotLabelName(0x0508), "Fountain Control");
  EXPECT_EQ(SlotLabelName(0x0218), std::nullopt);
}
