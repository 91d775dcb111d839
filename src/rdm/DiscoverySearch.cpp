#include "rdm/DiscoverySearch.h"

#include <algorithm>

namespace velquor::rdm {

namespace {
constexpr uint64_t kNearBlock = 0xFF;
}  // namespace

DiscoverySearch::DiscoverySearch(DiscoveryTarget& target, DiscoveryCallbacks callbacks,
                                 DiscoveryLimits limits)
    : target_(target), callbacks_(std::move(callbacks)), limits_(limits) {}

size_t DiscoverySearch::ExchangeLimit() const {
  return limits_.baseExchanges +
         limits_.exchangesPerDevice * std::min(found_.size(), limits_.countedDevices);
}

void DiscoverySearch::Log(const std::string& line) {
  if (callbacks_.log) callbacks_.log(line);
}

bool DiscoverySearch::Stopping() {
  if (!stopping_ && callbacks_.stopRequested) stopping_ = callbacks_.stopRequested();
  return stopping_;
}

void DiscoverySearch::Count(bool isBranch) {
  ++progress_.exchanges;
  if (isBranch) ++progress_.branches;
  if (callbacks_.progress) callbacks_.progress(progress_);
}

bool DiscoverySearch::Known(Uid uid) const {
  return found_.count(uid) > 0 || phantoms_.count(uid) > 0 || excluded_.count(uid) > 0;
}

// One branch; a reply that is just the background counts as silence.
BranchReply DiscoverySearch::Ask(Uid lower, Uid upper, bool wholeTimeOut) {
  const bool wholeRange = lower == kLowestUid && upper == kHighestUid;
  const BranchWait wait =
      wholeTimeOut || wholeRange || patient_ ? BranchWait::FullTimeOut : BranchWait::Learned;
  BranchReply reply = target_.Branch(lower, upper, wait);
  Count(true);
  if (wholeRange && reply.kind != BranchReply::Kind::Silent) wholeRangeHeard_ = true;
  if (background_ && reply.kind != BranchReply::Kind::Silent && reply.wire == *background_) {
    return {};
  }
  return reply;
}

// An empty range holds no UID: only devices that ignore the range answer it.
void DiscoverySearch::LearnBackground() {
  background_.reset();
  const BranchReply empty = Ask(Uid(1), Uid(0), true);
  if (empty.kind == BranchReply::Kind::Silent) return;
  background_ = empty.wire;
  if (!backgroundLogged_) {
    backgroundLogged_ = true;
    Log("Discovery: something answers every branch, even an empty one; its answer is set "
        "aside and the devices are told apart from it");
  }
}

SearchEnd DiscoverySearch::Run(const std::set<Uid>& alreadyMuted) {
  found_ = alreadyMuted;
  background_.reset();
  backgroundLogged_ = false;
  excluded_.clear();
  outsideSuspects_.clear();
  progress_ = {};
  stopping_ = false;
  patient_ = false;
  int fruitless = 0;
  while (fruitless < limits_.fruitlessPasses) {
    // A probe whose answer was lost must not hide a device for good: every pass asks anew.
    phantoms_.clear();
    newThisPass_ = 0;
    wholeRangeHeard_ = false;
    stack_.assign(1, Branch{kLowestUid, kHighestUid});
    while (!stack_.empty()) {
      if (Stopping()) return SearchEnd::Stopped;
      if (progress_.exchanges >= ExchangeLimit()) {
        Log("Discovery ended at its limit of " + std::to_string(ExchangeLimit()) +
            " exchanges: the line keeps answering in ways no device explains");
        return SearchEnd::LimitReached;
      }
      const Branch branch = stack_.back();
      stack_.pop_back();
      Handle(branch, Ask(branch.lower, branch.upper));
    }
    fruitless = newThisPass_ == 0 ? fruitless + 1 : 0;
    patient_ = newThisPass_ == 0 && (patient_ || wholeRangeHeard_);
  }
  return SearchEnd::Finished;
}

void DiscoverySearch::Handle(const Branch& branch, const BranchReply& reply) {
  if (branch.lower == branch.upper) {
    HandleSingle(branch, reply);
    return;
  }
  switch (reply.kind) {
    case BranchReply::Kind::Silent:
      return;
    case BranchReply::Kind::Garbled:
      SplitCollided(branch.lower, branch.upper,
                    reply.uid != Uid() ? std::optional<Uid>(reply.uid) : std::nullopt);
      return;
    case BranchReply::Kind::Answer:
      break;
  }
  const Uid uid = reply.uid;
  const bool inRange = uid >= branch.lower && uid <= branch.upper;
  if (inRange && excluded_.count(uid) > 0) {
    SplitAround(branch.lower, branch.upper, uid, false);
    return;
  }
  if (inRange && phantoms_.count(uid) == 0) {
    // Believe nothing yet: the UID answers a branch of its own before it is muted. A muted
    // device is asked too, which tells a look-alike overlap from a device ignoring its mute.
    SplitAround(branch.lower, branch.upper, uid, true);
    return;
  }
  SplitCollided(branch.lower, branch.upper, uid);
  if (!Known(uid)) {
    outsideSuspects_.insert(uid);
    Probe(uid);
  }
}

void DiscoverySearch::HandleSingle(const Branch& branch, const BranchReply& reply) {
  const Uid uid = branch.lower;
  if (reply.kind == BranchReply::Kind::Silent) {
    if (branch.probe && found_.count(uid) == 0) phantoms_.insert(uid);
    return;
  }
  // More than the background answered this UID's own branch: a device may be there.
  const bool overBackground = background_ && found_.count(uid) == 0 && excluded_.count(uid) == 0;
  if (reply.kind == BranchReply::Kind::Garbled) {
    if (!background_) {
      // One UID cannot collide with itself: something answers every branch. Learn what it
      // sends alone and look at this branch again.
      LearnBackground();
      if (background_) {
        stack_.push_back(branch);
        return;
      }
    } else if (overBackground && MuteAndReport(uid)) {
      return;
    }
    FailedAttempt(branch, "gives no readable discovery answer: given up");
    return;
  }
  if (reply.uid != uid) {
    if (overBackground && MuteAndReport(uid)) return;
    if (found_.count(reply.uid) > 0 || excluded_.count(reply.uid) > 0) {
      // A muted or misbehaving device answering a branch that does not hold it: this branch
      // cannot be told apart from it any more.
      if (found_.count(reply.uid) > 0) {
        Exclude(reply.uid, "keeps answering discovery after it was muted");
      }
      return;
    }
    const bool unknown = !Known(reply.uid);
    FailedAttempt(branch, "answers discovery as 0x" + UidText(reply.uid) + ": not added");
    if (unknown) {
      // Someone else answered this branch; find out who before it is asked again.
      outsideSuspects_.insert(reply.uid);
      Probe(reply.uid);
    }
    return;
  }
  if (excluded_.count(uid) > 0) return;
  if (found_.count(uid) > 0) {
    Exclude(uid, "keeps answering discovery after it was muted");
    return;
  }
  if (outsideSuspects_.erase(uid) > 0 && !Stopping()) {
    const BranchReply empty = Ask(uid.Next(), uid);
    if (empty.kind == BranchReply::Kind::Answer && empty.uid == uid) {
      Log("0x" + UidText(uid) + " answers discovery branches that do not hold it");
    }
  }
  if (MuteAndReport(uid)) return;
  if (Stopping()) return;
  Exclude(uid, "answers discovery but does not acknowledge mute: not added");
}

bool DiscoverySearch::MuteAndReport(Uid uid) {
  if (!MuteWithRetry(uid)) return false;
  Report(uid);
  if (background_) LearnBackground();  // the chorus may have been this device
  return true;
}

void DiscoverySearch::Report(Uid uid) {
  found_.insert(uid);
  phantoms_.erase(uid);
  ++newThisPass_;
  ++progress_.found;
  if (callbacks_.found) callbacks_.found(uid);
  if (callbacks_.progress) callbacks_.progress(progress_);
}

void DiscoverySearch::FailedAttempt(const Branch& branch, const std::string& why) {
  if (branch.attempts + 1 >= limits_.attemptsPerBranch) {
    Exclude(branch.lower, why);
    return;
  }
  stack_.push_back({branch.lower, branch.upper, branch.attempts + 1, branch.probe});
}

void DiscoverySearch::Exclude(Uid uid, const std::string& why) {
  if (!excluded_.insert(uid).second) return;
  ++newThisPass_;
  Log("0x" + UidText(uid) + " " + why);
}

// The upper part is searched before the lower one; a probe of `uid` comes first of all.
void DiscoverySearch::SplitAround(Uid lower, Uid upper, Uid uid, bool probeIt) {
  if (uid > lower) stack_.push_back({lower, uid.Previous()});
  if (uid < upper) stack_.push_back({uid.Next(), upper});
  if (probeIt) Probe(uid);
}

void DiscoverySearch::SplitCollided(Uid lower, Uid upper, std::optional<Uid> overlap) {
  // A misbehaving device in the branch collides with everyone there: cut it out first.
  auto it = excluded_.lower_bound(lower);
  if (it != excluded_.end() && *it <= upper) {
    SplitAround(lower, upper, *it, false);
    return;
  }
  // The OR or AND of neighbouring UIDs keeps their common high bits: the devices most
  // likely sit in the same block of 256 as the overlap. Ask that block first rather than
  // halving down from the whole range, then the rest on both sides.
  if (overlap && upper.Value() - lower.Value() > kNearBlock) {
    const Uid blockLower = std::max(lower, Uid(overlap->Value() & ~kNearBlock));
    const Uid blockUpper = std::min(upper, Uid(overlap->Value() | kNearBlock));
    if (blockLower <= blockUpper) {
      if (blockLower > lower) stack_.push_back({lower, blockLower.Previous()});
      if (blockUpper < upper) stack_.push_back({blockUpper.Next(), upper});
      stack_.push_back({blockLower, blockUpper});
      return;
    }
  }
  const Uid mid(lower.Value() + (upper.Value() - lower.Value()) / 2);
  stack_.push_back({lower, mid});
  stack_.push_back({mid.Next(), upper});
}

void DiscoverySearch::Probe(Uid uid) {
  stack_.push_back({uid, uid, 0, true});
}

bool DiscoverySearch::MuteWithRetry(Uid uid) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    const bool acked = target_.Mute(uid);
    Count(false);
    if (acked && attempt > 0)
      Log("0x" + UidText(uid) + " acknowledged the mute only when asked again");
    if (acked) return true;
    if (Stopping()) return false;
  }
  return false;
}

}  // namespace velquor::rdm
