#pragma once
// The sACN node beside the Art-Net one, on the same chosen address: it receives one universe
// (its multicast group joined on the chosen interface, and unicast to port 5568), merges the
// sources and puts the merge into the output universe while the page that takes network DMX
// shows; or it sends the output universe as a source. Its own threads: one receives (and
// forgets silent sources), one sends while the direction is out.

#include <array>
#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "common/Clock.h"
#include "common/Log.h"
#include "dmx/EngineTick.h"
#include "dmx/OutputUniverse.h"
#include "net/HostInterfaces.h"
#include "net/SacnPackets.h"

namespace velquor::net {

struct SacnOptions {
  uint16_t port = kSacnPort;  // tests take a free port of their own
  // Sends go here instead of the universe's multicast group (a console that takes unicast;
  // tests on loopback).
  std::optional<Ipv4> unicastTo;
};

struct SacnCounters {
  std::atomic<uint64_t> received{0};  // datagrams read while receiving
  std::atomic<uint64_t> taken{0};     // data packets of the universe merged
  std::atomic<uint64_t> dropped{0};   // malformed or not sACN
  std::atomic<uint64_t> late{0};      // out of sequence
  std::atomic<uint64_t> sent{0};      // data and discovery packets sent
};

enum class SacnDirection { Off, In, Out };

class SacnNode {
 public:
  SacnNode(dmx::OutputUniverse& universe, dmx::EngineView& view, common::LogSink& log,
           common::Clock& clock, SacnOptions options = {});
  ~SacnNode();
  SacnNode(const SacnNode&) = delete;
  SacnNode& operator=(const SacnNode&) = delete;

  // Opens the sockets on `local` (the Art-Net node's chosen address) and starts receiving.
  // False, with a log line, when nothing can be received. A second call changes nothing.
  bool Open(const HostAddress& local);
  // Ends both threads (a sending node first says its stream ends) and closes the sockets.
  void Stop();

  void SetCid(const Cid& cid) { cid_ = cid; }
  const Cid& OwnCid() const { return cid_; }
  void SetSourceName(std::string name);
  // 1..63999 and 0..200; values outside are clamped (the window and velquor-cli refuse them
  // first).
  void SetUniverse(int universe);
  void SetPriority(int priority);
  int Universe() const { return universe_.load(); }
  // In joins the universe's group; Out starts sending; leaving Out sends three packets that
  // end the stream.
  void SetDirection(SacnDirection direction);
  SacnDirection Direction() const { return direction_.load(); }
  bool PortShared() const { return portShared_; }
  // Called when merged levels were put into the universe (a recording asks for a frame).
  void SetFrameTaken(std::function<void()> hook) { frameTaken_ = std::move(hook); }

  SacnStatus Status() const;
  const SacnCounters& Counters() const { return counters_; }

  // One datagram as it arrived. Called by the receive thread; public for tests and the fuzz
  // target (not while the thread runs).
  void HandleDatagram(std::span<const uint8_t> payload, Ipv4 source);
  // Forgets silent sources (the receive thread does it every 100 ms).
  void ExpireSources();

 private:
  void ReceiveLoop();
  void SendLoop();
  void StopSending();
  void UpdateMembership();
  bool PageTakes() const;
  void PutMerge();  // under mergeMutex_
  void Say(bool& said, bool takenNow, const std::string& line);
  void Limited(std::optional<common::Instant>& last, uint64_t& since, std::string line);
  void SendPacket(std::span<const uint8_t> packet, Ipv4 group);
  void NoteSent(common::Instant now);

  dmx::OutputUniverse& output_;
  dmx::EngineView& view_;
  common::LogSink& log_;
  common::Clock& clock_;
  SacnOptions options_;
  std::function<void()> frameTaken_;

  Cid cid_{};
  std::mutex nameMutex_;
  std::string name_ = "VELQUOR PRO";
  std::atomic<int> universe_{1};
  std::atomic<int> priority_{kSacnDefaultPriority};
  std::atomic<SacnDirection> direction_{SacnDirection::Off};

  HostAddress local_;
  int receiveSocket_ = -1;
  int sendSocket_ = -1;
  int wakeFd_ = -1;
  bool portShared_ = false;
  std::mutex membershipMutex_;
  std::optional<int> joined_;  // the universe whose group the receive socket is in

  std::thread receiver_;
  std::atomic<bool> stopReceiving_{false};
  std::mutex sendMutex_;  // starting and stopping the sender
  std::thread sender_;
  std::atomic<bool> stopSending_{false};

  // Receive thread (and Status, under mergeMutex_).
  mutable std::mutex mergeMutex_;
  SacnMerger merger_;
  std::vector<common::Instant> arrivals_;  // merged packets within the last second
  std::optional<common::Instant> dropLast_, tooManyLast_;
  uint64_t dropSince_ = 0, tooManySince_ = 0;
  bool saidNotTaken_ = false;

  // Send thread (and Status, under mergeMutex_).
  std::vector<common::Instant> sentTimes_;

  SacnCounters counters_;
};

}  // namespace velquor::net
