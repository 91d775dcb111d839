#pragma once
// The discovery tree search over UID ranges. It asks a small target (branch, mute, un-mute)
// and knows nothing of tables, labels or windows.
//
// An RS-485 line does not garble every collision: overlapping answers of neighbouring UIDs
// often OR or AND into a perfectly valid answer naming a device that does not exist. So an
// answer is only believed when its UID lies in the branch asked, answers a branch of its own
// UID alone, and acknowledges the mute. Everything else counts as a collision and is split.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "rdm/Codec.h"

namespace velquor::rdm {

constexpr Uid kLowestUid{0};
constexpr Uid kHighestUid{0xFFFFFFFFFFFEULL};  // the broadcast UID is no device

// How long a branch is listened to: the whole response time-out, or the shorter wait
// learned from how fast this line answers (see AnswerTimes).
enum class BranchWait { Learned, FullTimeOut };

struct BranchReply {
  enum class Kind { Silent, Garbled, Answer };
  Kind kind = Kind::Silent;
  // Answer: the UID of a well-formed answer, possibly outside the range asked. Garbled: what
  // the overlapping bytes spell, if anything (a hint where the devices are, never believed).
  Uid uid;
  std::vector<uint8_t> wire;  // the bytes received, as far as an answer reaches
};

class DiscoveryTarget {
 public:
  virtual ~DiscoveryTarget() = default;
  // One DISC_UNIQUE_BRANCH over [lower, upper].
  virtual BranchReply Branch(Uid lower, Uid upper, BranchWait wait) = 0;
  // One DISC_MUTE; true only when `uid` itself acknowledged it.
  virtual bool Mute(Uid uid) = 0;
  virtual void UnMuteAll() = 0;
};

struct DiscoveryLimits {
  // Asks of one single-UID branch that gives no usable answer before it is given up.
  int attemptsPerBranch = 3;
  // Full-range passes in a row that find nothing new before the search ends.
  int fruitlessPasses = 3;
  // Exchanges (branches and mutes) allowed: a base plus so many per device found, counting
  // at most `countedDevices`, so that a line that acknowledges everything still ends.
  size_t baseExchanges = 1500;
  size_t exchangesPerDevice = 64;
  size_t countedDevices = 1024;
};

struct DiscoveryProgress {
  size_t found = 0;      // devices muted and reported in this run
  size_t branches = 0;   // DISC_UNIQUE_BRANCH requests asked
  size_t exchanges = 0;  // branches and mutes
};

enum class SearchEnd { Finished, Stopped, LimitReached };

struct DiscoveryCallbacks {
  // A device that acknowledged its mute and was not found before in this run.
  std::function<void(Uid)> found;
  std::function<void(const std::string&)> log;
  // Asked before every exchange; true ends the search there.
  std::function<bool()> stopRequested;
  std::function<void(const DiscoveryProgress&)> progress;
};

class DiscoverySearch {
 public:
  DiscoverySearch(DiscoveryTarget& target, DiscoveryCallbacks callbacks,
                  DiscoveryLimits limits = {});

  // Searches the whole UID range. `alreadyMuted` are devices muted before the search
  // (they count as found and are not reported again).
  SearchEnd Run(const std::set<Uid>& alreadyMuted = {});

  const DiscoveryProgress& Progress() const { return progress_; }
  size_t ExchangeLimit() const;

 private:
  struct Branch {
    Uid lower;
    Uid upper;
    int attempts = 0;
    bool probe = false;  // asked to check one UID that answered a wider branch
  };

  void Handle(const Branch& branch, const BranchReply& reply);
  void HandleSingle(const Branch& branch, const BranchReply& reply);
  void FailedAttempt(const Branch& branch, const std::string& why);
  void Report(Uid uid);
  // Mutes `uid` (one retry) and reports it when it acknowledged; false when it did not.
  bool MuteAndReport(Uid uid);
  bool Stopping();
  void Count(bool isBranch);
  BranchReply Ask(Uid lower, Uid upper, bool wholeTimeOut = false);
  void LearnBackground();
  void SplitAround(Uid lower, Uid upper, Uid uid, bool probeIt);
  // `overlap`: the UID a collided branch answered with, where it gave one.
  void SplitCollided(Uid lower, Uid upper, std::optional<Uid> overlap);
  void Probe(Uid uid);
  bool MuteWithRetry(Uid uid);
  void Exclude(Uid uid, const std::string& why);
  bool Known(Uid uid) const;
  void Log(const std::string& line);

  DiscoveryTarget& target_;
  DiscoveryCallbacks callbacks_;
  DiscoveryLimits limits_;
  DiscoveryProgress progress_;

  std::vector<Branch> stack_;      // the back is asked next
  std::set<Uid> found_;            // muted: stays silent unless it misbehaves
  std::set<Uid> phantoms_;         // answered a wider branch, silent on its own
  std::set<Uid> excluded_;         // misbehaving: branches are split around it
  std::set<Uid> outsideSuspects_;  // answered a branch that does not hold it
  size_t newThisPass_ = 0;
  // The whole range is always heard for the full time-out; when it answered but a pass with
  // the learned wait found nobody new, someone answers slower than the others: the next
  // passes listen to every branch for the full time-out.
  bool wholeRangeHeard_ = false;
  bool patient_ = false;
  bool stopping_ = false;
  // What devices that answer every branch put on the line by themselves; a branch that
  // answers just that holds nobody else.
  std::optional<std::vector<uint8_t>> background_;
  bool backgroundLogged_ = false;
};

}  // namespace velquor::rdm
