#pragma once
// The Art-Net node: one UDP socket on port 6454 takes what consoles send (DMX for the
// universe, polls, requests for the device table, RDM to relay), one more sends from the
// chosen local address. The receive thread never waits for the RDM line: a relayed request
// is queued on the line's executor, and its answer goes back from there.

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
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
#include "net/ArtNetPackets.h"
#include "net/HostInterfaces.h"
#include "rdm/LineExecutor.h"
#include "rdm/RdmEngine.h"

struct mmsghdr;
struct sockaddr_in;

namespace velquor::net {

struct BridgeOptions {
  uint16_t port = kArtNetPort;  // tests take a free port of their own
  bool relayAlways = false;     // headless: there is no page to show
  // How long a relayed request may wait for a command that holds the line; a console asks
  // again when it gets no answer.
  std::chrono::milliseconds relayWait{5000};
  // The same bytes from the same sender again within this time are one datagram seen twice
  // (two interfaces on one network); a console's repeated poll comes much later.
  common::Duration copyWindow = std::chrono::milliseconds(3);
};

struct BridgeHooks {
  // The device table's UIDs in row order, taken as a snapshot.
  std::function<std::vector<rdm::Uid>()> deviceUids;
  // Asks the show recorder for a frame (a recording runs while ArtDmx comes in).
  std::function<void()> requestRecordFrame;
};

// What the node takes now, for a status line on every page.
struct BridgeStatus {
  bool receiving = false;  // ArtDmx for the node's universe arrived within the last second
  int portAddress = 0;
  Ipv4 from = 0;  // the last sender of that ArtDmx
  int framesPerSecond = 0;
  bool portShared = false;  // another program has the port on the chosen address
  uint16_t port = kArtNetPort;
};
// "Art-Net: receiving universe 1 from 10.0.0.5, 44 fps", "Art-Net: idle", in either language.
std::string BridgeStatusText(const BridgeStatus& status, bool chinese);

// Counts for the page, the benchmarks and the tests.
struct BridgeCounters {
  std::atomic<uint64_t> received{0};     // datagrams read from the socket
  std::atomic<uint64_t> dmxTaken{0};     // ArtDmx written into the universe
  std::atomic<uint64_t> dropped{0};      // malformed, not Art-Net, copies
  std::atomic<uint64_t> relayed{0};      // ArtRdm handed to the line
  std::atomic<uint64_t> rdmAnswered{0};  // ArtRdm replies sent
  std::atomic<uint64_t> sent{0};         // datagrams sent
};

class ArtNetBridge {
 public:
  ArtNetBridge(dmx::OutputUniverse& universe, dmx::EngineView& view, rdm::RdmEngine& engine,
               rdm::LineExecutor& line, common::LogSink& log, common::Clock& clock,
               BridgeHooks hooks, BridgeOptions options = {});
  ~ArtNetBridge();
  ArtNetBridge(const ArtNetBridge&) = delete;
  ArtNetBridge& operator=(const ArtNetBridge&) = delete;

  // Lists the host's addresses, takes entry `addressIndex` (0 when past the end) and opens
  // the sockets. Failures are log lines; false when the bridge cannot receive.
  bool NetInit(int addressIndex);
  // Starts the receive thread (NetReceiveThread); false without a socket.
  bool StartReceiving();
  // Ends the receive thread; the sockets stay open for what is still being sent.
  void StopReceiving();
  // Stops the thread and closes the sockets. Safe to call twice.
  void Stop();

  // The addresses NetInit listed (ComboBox_IP) and the one chosen.
  const std::vector<HostAddress>& Addresses() const { return addresses_; }
  int AddressIndex() const { return addressIndex_.load(); }
  // ComboBox_IPChange: the sockets stay where they are; the poll reply names the new
  // address at once.
  void SetAddressIndex(int index) { addressIndex_.store(index); }

  // ArtNetUniverse, 0..32767.
  void SetPortAddress(int portAddress);
  int PortAddress() const { return portAddress_.load(); }
  // "Signal testing": a log line for every ArtDmx taken.
  void SetSignalTesting(bool on) { signalTesting_.store(on); }
  // The ShortName and LongName of the poll reply (the main window's caption).
  void SetNodeName(std::string name);
  // ArtNetPeerAddress: where everything is sent, the last Art-Net sender.
  Ipv4 PeerAddress() const { return peer_.load(); }
  Ipv4 LocalAddress() const { return local_.address; }
  // Another program had the port open on the chosen address when the sockets were opened:
  // datagrams sent to that address may reach it instead of this node.
  bool PortShared() const { return portShared_; }
  BridgeStatus Status() const;

  // One engine tick in "DMX512 To Art-Net": the universe as ArtDmx by the change and repeat
  // rule.
  void SendArtDmx();

  // One datagram as it arrived. Called by the receive thread; public for tests and the fuzz
  // target (not while the thread runs).
  void HandleDatagram(std::span<const uint8_t> payload, Ipv4 source, uint16_t sourcePort,
                      Ipv4 destination);

  const BridgeCounters& Counters() const { return counters_; }

 private:
  void ReceiveLoop();
  void TakeReceived(mmsghdr& received, const sockaddr_in& from);
  struct Sender {
    Ipv4 address = 0;
    uint16_t port = 0;
  };
  void SendArtPollReply();
  void SendArtTodData(Sender requester);
  void SendArtRdmReply(const rdm::RdmAnswer& answer, Sender requester);
  void RelayRdm(const ArtNetDatagram& d, Sender requester);
  // True once per stretch of arrivals that are not taken (the page shown does not take
  // them): the caller says so then.
  static bool FirstNotTaken(bool& said, bool takenNow);
  void TakeArtDmx(const ArtNetDatagram& d, Ipv4 source, Ipv4 destination, common::Instant now);
  bool SeenJustNow(std::span<const uint8_t> payload, Ipv4 source, uint16_t sourcePort,
                   common::Instant now);
  void DropWithLine(const std::string& reason, Ipv4 source);
  void SendTo(Ipv4 destination, std::span<const uint8_t> packet, uint16_t port = 0);
  void ForgetTransaction(int transaction);

  dmx::OutputUniverse& universe_;
  dmx::EngineView& view_;
  rdm::RdmEngine& engine_;
  rdm::LineExecutor& line_;
  common::LogSink& log_;
  common::Clock& clock_;
  BridgeHooks hooks_;
  BridgeOptions options_;

  std::vector<HostAddress> addresses_;  // set by NetInit before the thread starts
  HostAddress local_;
  std::atomic<int> addressIndex_{0};
  std::atomic<int> portAddress_{0};
  std::atomic<bool> signalTesting_{false};
  std::atomic<Ipv4> peer_{0};
  std::mutex nameMutex_;
  std::string nodeName_ = "VELQUOR PRO";

  int receiveSocket_ = -1;
  int sendSocket_ = -1;
  uint16_t sendPort_ = 0;  // the send socket's own port: what comes back from it is ours
  bool portShared_ = false;
  int wakeFd_ = -1;
  std::thread thread_;
  std::atomic<bool> stop_{false};

  // Receive thread only.
  int pollReplyCounter_ = 0;
  std::vector<uint8_t> lastDatagram_;
  Ipv4 lastSource_ = 0;
  uint16_t lastSourcePort_ = 0;
  common::Instant lastTime_{};
  // A log line that a flood would repeat many times a second: one a second at most, the
  // next one saying how many were left out ("(N more dropped before it)").
  struct LimitedLine {
    std::optional<common::Instant> last;  // none written yet
    uint64_t since = 0;
    void Add(common::LogSink& log, common::Instant now, std::string line, const char* what);
  };
  LimitedLine dropLine_;     // malformed or foreign datagrams
  LimitedLine refusedLine_;  // relays refused for a full queue
  bool saidDmxNotTaken_ = false;
  bool saidRdmNotRelayed_ = false;

  // Arrivals of ArtDmx for the node's universe within the last second (receive thread
  // writes, the window reads).
  mutable std::mutex statusMutex_;
  std::deque<common::Instant> dmxArrivals_;  // oldest first, at most 1000
  Ipv4 dmxFrom_ = 0;
  // The last relayed transaction number; -1: none yet. A request that got no answer is
  // forgotten, so the console's repeat of it is relayed.
  std::atomic<int> lastRdmTransaction_{-1};

  // Tick thread only.
  ArtDmxOutput dmxOutput_;

  BridgeCounters counters_;
};

}  // namespace velquor::net
