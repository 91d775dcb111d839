// The tree search against a modelled line. The model is harsher than most wires: every
// overlap of answers reads as a well-formed answer (the OR or AND of the UIDs), which is
// what neighbouring UIDs do on real RS-485 transceivers.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "UidLiterals.h"
#include "rdm/DiscoverySearch.h"

using namespace velquor::rdm;
using velquor::testsupport::AnyUid;
using velquor::testsupport::operator+;
using velquor::testsupport::operator-;

namespace {

enum class Overlap { Or, And, Garbled };
enum class Habit { Good, IgnoresMute, FlakyMute, AnyRange, OtherUid, AnswersMuted, Noise, Slow };

struct ModelDevice {
  Uid uid;
  Habit habit = Habit::Good;
  Uid answersAs;  // OtherUid
  bool muted = false;
  int muteRequests = 0;
};

struct Call {
  char kind;  // 'B' branch, 'M' mute
  Uid lower;
  Uid upper;
  bool operator==(const Call&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Call& c) {
  return os << c.kind << "(" << std::hex << c.lower << "," << c.upper << ")";
}

Call B(AnyUid lower, AnyUid upper) {
  return {'B', lower.uid, upper.uid};
}
Call M(AnyUid uid) {
  return {'M', uid.uid, uid.uid};
}

class ModelLine final : public DiscoveryTarget {
 public:
  explicit ModelLine(Overlap overlap) : overlap_(overlap) {}

  void Add(AnyUid uid, Habit habit = Habit::Good, AnyUid answersAs = 0) {
    devices_.push_back({uid.uid, habit, answersAs.uid});
  }

  BranchReply Branch(Uid lower, Uid upper, BranchWait wait) override {
    calls.push_back(B(lower, upper));
    waits.emplace_back(B(lower, upper), wait);
    if (dropNextAnswers > 0) {
      --dropNextAnswers;
      return {};
    }
    std::vector<Uid> answers;
    for (const ModelDevice& d : devices_) {
      if (d.habit == Habit::Noise) {
        // Line noise: bytes on every branch, never twice the same.
        ++noise_;
        return {BranchReply::Kind::Garbled, Uid(), {static_cast<uint8_t>(noise_), 0x55}};
      }
      if (d.muted && d.habit != Habit::AnswersMuted) continue;
      // Answers later than the others: heard only by a branch that waits the full time-out.
      if (d.habit == Habit::Slow && wait != BranchWait::FullTimeOut) continue;
      const bool inRange = d.uid >= lower && d.uid <= upper;
      if (!inRange && d.habit != Habit::AnyRange) continue;
      answers.push_back(d.habit == Habit::OtherUid ? d.answersAs : d.uid);
    }
    if (answers.empty()) return {};
    std::sort(answers.begin(), answers.end());
    std::vector<uint8_t> bytes;  // what the wire carries: the same chorus, the same bytes
    for (Uid a : answers) {
      for (int i = 5; i >= 0; --i) bytes.push_back(static_cast<uint8_t>(a.Value() >> (8 * i)));
    }
    if (answers.size() > 1 && overlap_ == Overlap::Garbled) {
      return {BranchReply::Kind::Garbled, Uid(), bytes};
    }
    uint64_t wire = answers[0].Value();
    for (Uid a : answers) wire = overlap_ == Overlap::And ? (wire & a.Value()) : (wire | a.Value());
    return {BranchReply::Kind::Answer, Uid(wire), bytes};
  }

  bool Mute(Uid uid) override {
    calls.push_back(M(uid));
    if (ackEveryMute) return true;
    for (ModelDevice& d : devices_) {
      if (d.uid != uid) continue;
      ++d.muteRequests;
      if (d.habit == Habit::IgnoresMute) return false;
      if (d.habit == Habit::FlakyMute && d.muteRequests % 2 == 1) return false;
      d.muted = true;
      return true;
    }
    return false;
  }

  void UnMuteAll() override {
    for (ModelDevice& d : devices_) d.muted = false;
  }

  std::vector<Call> calls;
  std::vector<std::pair<Call, BranchWait>> waits;  // every branch asked, with its wait
  int dropNextAnswers = 0;
  bool ackEveryMute = false;

 private:
  Overlap overlap_;
  std::vector<ModelDevice> devices_;
  unsigned noise_ = 0;
};

struct Outcome {
  SearchEnd end;
  std::vector<Uid> found;
  std::vector<std::string> log;
  DiscoveryProgress progress;
  size_t limit;
};

Outcome Search(ModelLine& line, DiscoveryLimits limits = {}, std::function<bool()> stop = nullptr,
               const std::set<Uid>& alreadyMuted = {}) {
  Outcome out{};
  DiscoveryCallbacks cb;
  cb.found = [&](Uid uid) { out.found.push_back(uid); };
  cb.log = [&](const std::string& s) { out.log.push_back(s); };
  cb.stopRequested = std::move(stop);
  DiscoverySearch search(line, cb, limits);
  out.end = search.Run(alreadyMuted);
  out.progress = search.Progress();
  out.limit = search.ExchangeLimit();
  return out;
}

size_t LinesWith(const Outcome& o, const std::string& text) {
  return static_cast<size_t>(std::count_if(o.log.begin(), o.log.end(), [&](const std::string& l) {
    return l.find(text) != std::string::npos;
  }));
}

std::vector<Uid> Sorted(std::vector<Uid> v) {
  std::sort(v.begin(), v.end());
  return v;
}

constexpr Overlap kOverlaps[] = {Overlap::Or, Overlap::And, Overlap::Garbled};
std::string Named(Overlap o) {
  return o == Overlap::Or ? "OR" : o == Overlap::And ? "AND" : "garbled";
}

std::vector<Uid> Neighbours(int n) {
  std::vector<Uid> v;
  for (int i = 1; i <= n; ++i) v.push_back(Uid(0x7A70, static_cast<uint32_t>(i)));
  return v;
}

std::vector<Uid> Scattered(int n) {
  std::vector<Uid> v;
  for (int i = 0; i < n; ++i) {
    v.push_back(
        Uid(static_cast<uint16_t>(0x7FF0 + i % 5), 0x100u + static_cast<uint32_t>(i) * 7919u));
  }
  return v;
}

constexpr Uid kMax = kHighestUid;

}  // namespace

TEST(DiscoverySearch, ExactExchangesForOneDeviceAndForAnOverlapThatLooksLikeAThird) {
  ModelLine line(Overlap::Or);
  const Uid u{0x7A7000000001ULL};
  line.Add(u);
  Outcome o = Search(line);
  EXPECT_EQ(std::tuple(o.end, o.found), std::tuple(SearchEnd::Finished, std::vector<Uid>{u}));
  // The answer is believed only after its UID answered alone and acknowledged the mute;
  // then the rest of the range is searched, and three silent full-range passes end it.
  std::vector<Call> expected{B(0, kMax),  B(u, u),    M(u),       B(u + 1, kMax),
                             B(0, u - 1), B(0, kMax), B(0, kMax), B(0, kMax)};
  EXPECT_EQ(line.calls, expected);
  EXPECT_EQ(std::tuple(o.progress.branches, o.progress.exchanges), std::tuple(7u, 8u));

  // 1 | 2 = 3: the wire names a device that does not exist; it is split, not believed.
  ModelLine two(Overlap::Or);
  two.Add(1);
  two.Add(2);
  o = Search(two);
  EXPECT_EQ(Sorted(o.found), (std::vector<Uid>{Uid(1), Uid(2)}));
  expected = {B(0, kMax),                 // answers "3"
              B(3, 3),                    // nobody: a phantom, never muted
              B(4, kMax),                 // silent
              B(0, 2),                    // answers "3" again: outside the range, so a collision
              B(2, 2),    M(2), B(0, 1),  // only 1 is left: answers "1" (3 is known as no device)
              B(1, 1),    M(1), B(0, 0), B(0, kMax), B(0, kMax), B(0, kMax)};
  EXPECT_EQ(two.calls, expected);
}

TEST(DiscoverySearch, EveryDeviceFoundOnceOnEveryKindOfLine) {
  for (Overlap overlap : kOverlaps) {
    for (int n : {2, 4, 6, 12, 64, 128}) {
      for (bool neighbouring : {true, false}) {
        std::vector<Uid> uids = neighbouring ? Neighbours(n) : Scattered(n);
        ModelLine line(overlap);
        for (Uid u : uids) line.Add(u);
        Outcome o = Search(line);
        const std::string what = Named(overlap) + ", " + std::to_string(n) +
                                 (neighbouring ? " neighbours" : " scattered");
        EXPECT_EQ(o.end, SearchEnd::Finished) << what;
        EXPECT_EQ(Sorted(o.found), Sorted(uids)) << what;  // no phantom, nothing twice
        std::vector<Uid> muted;  // each device once, never a UID nobody has
        for (const Call& c : line.calls) {
          if (c.kind == 'M') muted.push_back(c.lower);
        }
        EXPECT_EQ(Sorted(muted), Sorted(uids)) << what;
        EXPECT_TRUE(o.log.empty()) << what << ": " << (o.log.empty() ? "" : o.log[0]);
        // One descent from the full range plus a few branches each; a search that starts
        // over after every device costs some 48 per device.
        EXPECT_LT(o.progress.branches, 200 + 10 * uids.size()) << what;
        if (neighbouring && overlap != Overlap::Garbled) {
          EXPECT_LT(o.progress.branches, 40 + 5 * uids.size()) << what << ": near block";
        }
      }
    }
  }
}

TEST(DiscoverySearch, TheWholeRangeWaitsTheFullTimeOutAndASlowDeviceIsWaitedFor) {
  for (Overlap overlap : kOverlaps) {
    for (bool slow : {false, true}) {
      const std::vector<Uid> uids = Neighbours(6);
      ModelLine line(overlap);
      for (size_t i = 0; i < uids.size(); ++i) {
        line.Add(uids[i], slow && i == 2 ? Habit::Slow : Habit::Good);
      }
      Outcome o = Search(line);
      const std::string what = Named(overlap) + (slow ? ", one slow device" : "");
      EXPECT_EQ(Sorted(o.found), uids) << what;
      size_t narrowAtTimeOut = 0;
      for (const auto& [call, wait] : line.waits) {
        if (call == B(0, kMax)) {
          EXPECT_EQ(wait, BranchWait::FullTimeOut) << what;
        } else if (wait == BranchWait::FullTimeOut) {
          ++narrowAtTimeOut;
        }
      }
      // Only a pass that heard the whole range answer and found nobody new waits longer.
      EXPECT_EQ(narrowAtTimeOut > 0, slow) << what;
    }
  }
}

TEST(DiscoverySearch, MisbehavingDevicesAreNamedAndTheRestFound) {
  // The habit, what names it in the log, whether it is added.
  const std::tuple<Habit, std::string, bool> cases[] = {
      {Habit::IgnoresMute, "answers discovery but does not acknowledge mute: not added", false},
      {Habit::FlakyMute, "acknowledged the mute only when asked again", true},
      {Habit::AnyRange, "answers discovery branches that do not hold it", true},
      {Habit::OtherUid, "answers discovery as 0x7B0000000001: not added", false},
      {Habit::AnswersMuted, "keeps answering discovery after it was muted", true},
  };
  for (const auto& [habit, logText, added] : cases) {
    for (Overlap overlap : kOverlaps) {
      for (std::vector<int> bad : std::vector<std::vector<int>>{{0}, {5}, {11}, {0, 11}, {4, 5}}) {
        if (habit == Habit::AnyRange && bad.size() == 2) continue;  // see below
        std::vector<Uid> uids = Neighbours(12);
        ModelLine line(overlap);
        std::vector<Uid> good, misbehaving;
        for (int i = 0; i < 12; ++i) {
          const bool isBad = std::find(bad.begin(), bad.end(), i) != bad.end();
          if (isBad && habit == Habit::OtherUid) {
            line.Add(uids[i], habit, Uid(0x7B0000000001ULL) + misbehaving.size());
          } else {
            line.Add(uids[i], isBad ? habit : Habit::Good);
          }
          (isBad ? misbehaving : good).push_back(uids[i]);
        }
        Outcome o = Search(line);
        SCOPED_TRACE(logText + ", " + Named(overlap) + ", first bad " + std::to_string(bad[0]));
        EXPECT_EQ(o.end, SearchEnd::Finished);
        std::vector<Uid> expected = good;
        if (added) expected.insert(expected.end(), misbehaving.begin(), misbehaving.end());
        EXPECT_EQ(Sorted(o.found), Sorted(expected));
        if (habit == Habit::OtherUid) {  // the first bad one answers as 0x7B0000000001
          EXPECT_EQ(LinesWith(o, "0x" + UidText(misbehaving[0]) + " answers discovery as 0x7B"),
                    1u);
        } else {
          for (Uid u : misbehaving) {
            EXPECT_EQ(LinesWith(o, "0x" + UidText(u) + " " + logText), 1u);
          }
        }
      }
    }
  }
}

TEST(DiscoverySearch, TwoDevicesAnsweringEveryRange) {
  // Both answer every branch, so no branch is ever quiet while they are unmuted. Where their
  // overlap names one of them (101 | 103 = 103, 101 & 100 = 100) that one is muted and the
  // rest follows; where it garbles every branch, even an empty one, what they send is the
  // same each time, so a branch that answers just that holds nobody else.
  // The overlap, how many neighbours, the two, how many found, lines that name the chorus.
  const std::tuple<Overlap, int, uint64_t, uint64_t, size_t, size_t> cases[] = {
      {Overlap::Or, 10, 0x7A7000000101ULL, 0x7A7000000103ULL, 12, 0},
      {Overlap::And, 10, 0x7A7000000101ULL, 0x7A7000000100ULL, 12, 0},
      {Overlap::Garbled, 6, 0x10, 0x7A7000000100ULL, 6, 1}};
  for (const auto& [overlap, neighbours, first, second, found, backgroundLines] : cases) {
    ModelLine line(overlap);
    for (Uid u : Neighbours(neighbours)) line.Add(u);
    line.Add(first, Habit::AnyRange);
    line.Add(second, Habit::AnyRange);
    Outcome o = Search(line);
    SCOPED_TRACE(Named(overlap));
    EXPECT_EQ(std::tuple(o.end, o.found.size(), LinesWith(o, "something answers every branch")),
              std::tuple(SearchEnd::Finished, found, backgroundLines));
    if (found == 6) {
      EXPECT_EQ(Sorted(o.found), Neighbours(6));
    }
  }
}

TEST(DiscoverySearch, ALineThatNeverFallsSilentEndsAtTheExchangeLimit) {
  DiscoveryLimits limits;
  limits.baseExchanges = 300;
  ModelLine noisy(Overlap::Or);
  noisy.Add(0x7A7000000001ULL);
  noisy.Add(0x10, Habit::Noise);
  Outcome o = Search(noisy, limits);
  EXPECT_EQ(std::tuple(o.end, o.progress.exchanges), std::tuple(SearchEnd::LimitReached, o.limit));
  EXPECT_EQ(LinesWith(o, "Discovery ended at its limit of 300 exchanges"), 1u);

  // Where every mute is acknowledged, each UID "found" buys more exchanges; only so many
  // devices count towards the limit.
  limits.baseExchanges = 100;
  limits.exchangesPerDevice = 8;
  limits.countedDevices = 20;
  ModelLine agreeable(Overlap::Or);
  agreeable.Add(0x10, Habit::Noise);
  agreeable.ackEveryMute = true;
  o = Search(agreeable, limits);
  EXPECT_EQ(o.end, SearchEnd::LimitReached);
  EXPECT_LE(o.progress.exchanges, 100u + 8u * 20u + 2u);
}

TEST(DiscoverySearch, LostAnswersDelayAFindMutedDevicesAreNotReportedAgainAndStopEndsAtOnce) {
  ModelLine lossy(Overlap::Or);
  lossy.Add(0x7A7000000005ULL);
  lossy.dropNextAnswers = 2;  // the full range and the first probe hear nothing
  EXPECT_EQ(Search(lossy).found, std::vector<Uid>{Uid(0x7A7000000005ULL)});

  ModelLine line(Overlap::Or);
  const std::vector<Uid> uids = Neighbours(3);
  for (Uid u : uids) line.Add(u);
  line.Mute(uids[1]);
  Outcome o = Search(line, {}, nullptr, {uids[1]});
  EXPECT_EQ(std::tuple(o.end, Sorted(o.found)),
            std::tuple(SearchEnd::Finished, std::vector<Uid>{uids[0], uids[2]}));

  // Stop ends the search at the next exchange and keeps what was found.
  ModelLine eight(Overlap::Or);
  for (Uid u : Neighbours(8)) eight.Add(u);
  size_t callsAtStop = 0;
  o = Search(eight, {}, [&] {
    const auto mutes = std::count_if(eight.calls.begin(), eight.calls.end(),
                                     [](const Call& c) { return c.kind == 'M'; });
    if (mutes == 3 && callsAtStop == 0) callsAtStop = eight.calls.size();
    return callsAtStop != 0;
  });
  EXPECT_EQ(std::tuple(o.end, o.found.size()), std::tuple(SearchEnd::Stopped, 3u));
  EXPECT_EQ(eight.calls.size(), callsAtStop) << "no exchange after the stop was seen";
}
