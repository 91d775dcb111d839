// Discovery against a line that answers whatever the input says: every branch and mute
// reply comes from the fuzz bytes, and the line falls silent once they are spent (so an
// input takes as many exchanges as it has bytes for, and the search's end is reached fast).
// The search must end within its exchange limit, report each device once and only after an
// acknowledged mute.
#include <cstdint>
#include <set>

#include "rdm/DiscoverySearch.h"

namespace {

using namespace velquor::rdm;

class ScriptedLine final : public DiscoveryTarget {
 public:
  ScriptedLine(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  BranchReply Branch(Uid lower, Uid upper, BranchWait) override {
    (void)lower;
    (void)upper;
    BranchReply reply;
    if (pos_ >= size_) return reply;
    const uint8_t kind = Next() % 3;
    if (kind == 0) return reply;
    reply.kind = kind == 1 ? BranchReply::Kind::Garbled : BranchReply::Kind::Answer;
    // UIDs near the ones already used, so answers repeat and overlap as on a real line.
    reply.uid = (Next() % 4 == 0) ? last_ : Uid(0x7A7000000000ULL | Next());
    if (Next() % 8 == 0) reply.uid = Next() % 2 ? kHighestUid : kHighestUid.Previous();
    last_ = reply.uid;
    reply.wire = {Next(), Next()};
    return reply;
  }
  bool Mute(Uid uid) override {
    if (pos_ >= size_) return false;
    const bool acked = Next() % 2 == 0;
    if (acked) acked_.insert(uid);
    return acked;
  }
  void UnMuteAll() override {}

  std::set<Uid> acked_;

 private:
  // Within one reply the bytes may run out: the reply ends with a pattern, not a repeat.
  uint8_t Next() { return pos_ < size_ ? data_[pos_++] : static_cast<uint8_t>(pos_++ * 37); }
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  Uid last_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ScriptedLine line(data, size);
  std::set<Uid> reported;
  DiscoveryCallbacks cb;
  cb.found = [&](Uid uid) {
    if (!reported.insert(uid).second) __builtin_trap();  // reported twice
    if (line.acked_.count(uid) == 0) __builtin_trap();   // never acknowledged a mute
  };
  DiscoveryLimits limits;
  limits.baseExchanges = 400;
  limits.exchangesPerDevice = 16;
  limits.countedDevices = 32;
  DiscoverySearch search(line, cb, limits);
  search.Run();
  // Each exchange past the limit would have been refused; a mute pair may end it late.
  if (search.Progress().exchanges > search.ExchangeLimit() + 4) __builtin_trap();
  return 0;
}
