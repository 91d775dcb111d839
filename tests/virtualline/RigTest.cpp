#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "virtualline/Rig.h"

using namespace velquor::virtualline;

TEST(Rig, DefaultRigHasADozenFixturesOfSeveralKinds) {
  std::string error;
  auto rig = ParseRig(DefaultRigJson(), error);
  ASSERT_TRUE(rig) << error;
  EXPECT_GE(rig->fixtures.size(), 10u);
  EXPECT_LE(rig->fixtures.size(), 14u);
  std::set<uint16_t> categories;
  int radios = 0;
  for (const auto& f : rig->fixtures) {
    categories.insert(f.category);
    radios += f.radioChannel.has_value();
    EXPECT_FALSE(f.label.empty());
    EXPECT_FALSE(f.personalities.empty());
  }
  EXPECT_GE(categories.size(), 4u);
  EXPECT_EQ(radios, 1) << "one radio receiver, so a broadcast radio query gets one answer";
}

TEST(Rig, MistakesAreReportedWithTheFixture) {
  struct Case {
    const char* json;
    const char* expected;
  };
  const Case cases[] = {
      {"{", "not valid JSON"},
      {"{\"fixtures\": 3}", "\"fixtures\" list"},
      {"{\"fixtures\": [{}]}", "fixture 1: \"uid\" is missing"},
      {"{\"fixtures\": [{\"uid\": \"7FF0:0001\"}]}", "12 hex digits"},
      {"{\"fixtures\": [{\"uid\": \"7FF0:FFFFFFFF\"}]}", "not a device UID"},
      {"{\"fixtures\": [{\"uid\": \"7FF0:00000001\"}, {\"uid\": \"7FF000000001\"}]}",
       "appears twice"},
      {"{\"fixtures\": [{\"uid\": \"7FF0:00000001\", \"personality\": 2}]}",
       "names no listed personality"},
      {"{\"fixtures\": [{\"uid\": \"7FF0:00000001\", \"label\": "
       "\"123456789012345678901234567890123\"}]}",
       "longer than 32"},
      {"{\"fixtures\": [{\"uid\": \"7FF0:00000001\", \"supportedPids\": [\"NOPE\"]}]}",
       "unknown parameter"},
      {"{\"fixtures\": [{\"uid\": \"7FF0:00000001\", \"startAddress\": 513}]}", "0 to 512"},
      {"{\"fixtures\": [{\"uid\": \"7FF0:00000001\", \"radioChannel\": 8}]}", "0 to 7"},
      {"{\"fixtures\": [{\"uid\": \"7FF0:00000001\", \"panInvert\": 1}]}", "true or false"},
      {"{\"fixtures\": [{\"uid\": \"7FF0:00000001\", \"personalities\": []}]}", "1 to 255"},
      {"{\"collisions\": \"xor\", \"fixtures\": []}", "\"or\", \"and\" or \"garbled\""},
      {"{\"fixtures\": [{\"uid\": \"7FF0:00000001\", \"discoveryFault\": \"late\"}]}",
       "must be none, ignoreMute"},
      {"{\"fixtures\": [{\"uid\": \"7FF0:00000001\", \"discoveryFault\": \"otherUid\"}]}",
       "needs \"discoveryUid\""},
      {"{\"fixtures\": [{\"uid\": \"7FF0:00000001\", \"overflowAfter\": 231}]}", "0 to 230"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(ParseRig(c.json, error)) << c.json;
    EXPECT_NE(error.find(c.expected), std::string::npos) << c.json << " gave: " << error;
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
  EXPECT_EQ(rig->collisions, CollisionMode::And);
  EXPECT_EQ(rig->fixtures[0].uid, 0x7FF000000001ULL);
  EXPECT_EQ(rig->fixtures[0].supportedPids, (std::vector<uint16_t>{0x0082, 0x0400, 0x0601}));
  EXPECT_EQ(rig->fixtures[0].discoveryFault, DiscoveryFault::OtherUid);
  EXPECT_EQ(rig->fixtures[0].discoveryUid, 0x7FF000000099ULL);
  EXPECT_EQ(rig->fixtures[0].overflowAfter, 8);
  EXPECT_EQ(rig->fixtures[1].discoveryFault, DiscoveryFault::AnswersWhenMuted);
  EXPECT_EQ(ParseRig(R"({"fixtures": []})", error)->collisions, CollisionMode::Or)
      << "the overlap that breaks controllers is the default";
  EXPECT_EQ(DefaultRig().collisions, CollisionMode::Or);
  EXPECT_FALSE(LoadRigFile(path + ".missing", error));
  EXPECT_NE(error.find("cannot read rig file"), std::string::npos);
}
