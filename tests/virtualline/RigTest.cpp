#include <gtest/gtest.h>

#include <fstream>

#include "virtualline/Rig.h"

using namespace velquor::virtualline;

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
