#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "RdmHarness.h"
#include "rdm/KnownPids.h"

using namespace velquor;
using namespace velquor::testsupport;

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

  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(failed.load(), 0);
  EXPECT_EQ(h.line.Stats().badRequests, 0u) << "no request was interleaved with another";
  EXPECT_EQ(h.Requests(), 24u);
  EXPECT_EQ(h.Responses(), 24u);
}
