#pragma once
// A simulated interface box with E1.20 responders behind it, as a link transport: for
// tests, and for technicians without the box (planning, training, trying the program).

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <vector>

#include "common/Clock.h"
#include "link/LinkTransport.h"
#include "virtualline/Responder.h"
#include "virtualline/Rig.h"

namespace velquor::virtualline {

enum class FaultKind {
  None,         // answers normally: lets `count` answers through before the next fault
  NoAnswer,     // silent: answers nothing, not even discovery
  NonRdm,       // answers bytes that are not an RDM message
  BadChecksum,  // answers with a wrong checksum
  Nack,         // answers NACK_REASON with `nackReason`
  AckTimer,     // answers ACK_TIMER
  LateAnswer,   // the answer starts `delayMs` after the request (instead of about 1 ms)
  LoseFrame,    // frame `frameIndex` of the answer never arrives
  RepeatFrame,  // frame `frameIndex` of the answer arrives twice
  IgnoreMute,   // never acknowledges DISC_MUTE and stays unmuted
  StaleAnswer,  // answers with the transaction number of the request before (a late answer)
};

struct Fault {
  FaultKind kind = FaultKind::None;
  int count = -1;  // how many of the next addressed requests it hits; -1 = all
  uint16_t nackReason = 0;
  double delayMs = 0;
  size_t frameIndex = 0;
};

struct LineStats {
  unsigned requestFrames = 0;  // RDM frames received from the controller
  unsigned requests = 0;       // whole requests with a good checksum
  unsigned badRequests = 0;    // whole requests that failed the framing check
  unsigned answers = 0;        // answers put on the line (collisions count once)
  unsigned dmxFrames = 0;      // DMX frames received from the controller
  unsigned reportsServed = 0;  // GET_REPORT calls answered
};

class VirtualLine final : public link::LinkTransport {
 public:
  VirtualLine(Rig rig, common::Clock& clock);

  bool Open(const link::OpenContext& ctx) override;
  void Close() override;
  int InterruptOut(const link::LinkFrame& frame) override;
  int GetReport(link::LinkFrame& frame) override;
  void ClearHalt() override {}
  std::string ErrorText(int code) const override;

  // Test and demonstration controls; all thread-safe.
  // Faults of one device take effect one after the other, each for its count.
  void InjectFault(uint64_t uid, Fault fault);
  void ClearFaults();
  // An unplugged box fails every transfer and cannot be opened.
  void SetUnplugged(bool unplugged);
  // The box is pulled out after `transfers` more transfers (OUT or GET_REPORT): in the middle
  // of whatever runs then.
  void UnplugAfter(unsigned transfers);
  // What the box receives on its DMX input (sent back as 0xE5.. frames); empty = none.
  void SetInputUniverse(std::vector<uint8_t> levels);
  // The DMX the box last put on the line (slot 1 at index 0).
  std::array<uint8_t, 512> LineDmx() const;
  std::optional<Fixture> FixtureState(uint64_t uid) const;
  std::optional<bool> IsMuted(uint64_t uid) const;
  std::vector<uint64_t> Uids() const;
  LineStats Stats() const;
  size_t QueuedFrames() const;

 private:
  struct QueuedFrame {
    common::Instant readyAt;
    link::LinkFrame frame;
  };

  void Process(const std::vector<uint8_t>& message);
  void HandleDiscovery(const WireRequest& request);
  void Answer(Responder& responder, const WireRequest& request, Reply reply);
  // `wireBytes` of the message cross the line after the request that `requestEnd_` ends; the
  // responder turns round in `turnaroundMs` (0: the line's usual).
  void QueueMessage(std::vector<uint8_t> bytes, size_t chunkCount, size_t wireBytes,
                    const Fault* fault, double turnaroundMs);
  // How long the box takes to hand an answer off the line to USB.
  double RelayMs();
  Fault* ActiveFault(uint64_t uid);
  void ConsumeFault(uint64_t uid);

  common::Clock& clock_;
  const CollisionMode collisions_;
  const RelayLatency relay_;
  std::minstd_rand jitter_{0x0D1E};
  mutable std::mutex mutex_;
  std::vector<Responder> responders_;
  std::map<uint64_t, std::deque<Fault>> faults_;  // front is in force
  bool unplugged_ = false;
  std::optional<unsigned> unplugIn_;
  bool Unplugged();  // counts one transfer towards UnplugAfter; under mutex_
  bool open_ = false;
  std::minstd_rand keys_{0x5EED};

  std::vector<uint8_t> assembly_;  // the request being received, chunk by chunk
  uint32_t assembledChunks_ = 0;   // bit k set = chunk k present

  common::Instant requestEnd_{};  // when the last request left the line
  std::deque<QueuedFrame> outbound_;
  std::vector<uint8_t> inputUniverse_;
  size_t nextInputChunk_ = 0;
  std::array<uint8_t, link::kMaxMessage> lineDmx_{};
  LineStats stats_;
};

}  // namespace velquor::virtualline
