#include <gtest/gtest.h>

#include <thread>

#include "common/Log.h"

using velquor::common::LogSink;

TEST(LogSink, TakeNewReturnsEachLineOnceInOrderWithinCapacity) {
  using Lines = std::vector<std::string>;
  LogSink log(3);
  log.Add("a");
  EXPECT_EQ(log.TakeNew(), Lines{"a"});
  EXPECT_TRUE(log.TakeNew().empty());
  for (int i = 0; i < 5; ++i) log.Add(std::to_string(i));
  EXPECT_EQ(log.TakeNew(), (Lines{"2", "3", "4"})) << "only the newest within capacity";
  EXPECT_EQ(log.Lines(), (Lines{"2", "3", "4"}));
  log.Clear();
  EXPECT_EQ(log.Count(), 0u);
}

TEST(LogSink, LinesFromManyThreadsArriveWhole) {
  LogSink log;
  std::vector<std::string> heard;
  log.SetListener([&](const std::string& l) { heard.push_back(l); });
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 500; ++i) log.Add(std::string(40, static_cast<char>('a' + t)));
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(log.Count(), 2000u);
  EXPECT_EQ(heard.size(), 2000u);
  for (char c : {'a', 'b', 'c', 'd'}) EXPECT_EQ(log.CountOf(std::string(40, c)), 500u);
}
