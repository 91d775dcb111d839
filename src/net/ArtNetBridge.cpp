#include "net/ArtNetBridge.h"

#include <arpa/inet.h>
#include <fmt/format.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace velquor::net {

namespace {

std::string ErrnoText() {
  return std::strerror(errno);
}

constexpr size_t kReceiveBufferBytes = 2048;

}  // namespace

std::string BridgeStatusText(const BridgeStatus& status, bool chinese) {
  std::string text;
  if (status.receiving) {
    text = chinese ? fmt::format("Art-Net: 正在接收 Universe {}，来自 {}，{} fps",
                                 status.portAddress, Ipv4Text(status.from), status.framesPerSecond)
                   : fmt::format("Art-Net: receiving universe {} from {}, {} fps",
                                 status.portAddress, Ipv4Text(status.from), status.framesPerSecond);
  } else {
    text = chinese ? "Art-Net: 空闲" : "Art-Net: idle";
  }
  if (status.portShared) {
    text += chinese ? fmt::format("（另一个程序也在使用 UDP 端口 {}）", status.port)
                    : fmt::format(" (another program has UDP port {} too)", status.port);
  }
  return text;
}

ArtNetBridge::ArtNetBridge(dmx::OutputUniverse& universe, dmx::EngineView& view,
                           rdm::RdmEngine& engine, rdm::LineExecutor& line, common::LogSink& log,
                           common::Clock& clock, BridgeHooks hooks, BridgeOptions options)
    : universe_(universe),
      view_(view),
      engine_(engine),
      line_(line),
      log_(log),
      clock_(clock),
      hooks_(std::move(hooks)),
      options_(options) {}

ArtNetBridge::~ArtNetBridge() {
  Stop();
}

bool ArtNetBridge::NetInit(int addressIndex) {
  // Opened again (the window shown again): the running thread and its sockets go first, or
  // the thread would read a socket being replaced and the old ones would stay open.
  Stop();
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) == 0) {
    log_.Add(host);
  } else {
    log_.Add("gethostname error!");
  }
  addresses_ = ListHostAddresses();
  if (addresses_.empty()) {
    log_.Add("IP gethostbyname error!");
    log_.Add("No IPv4 address on this computer: the Art-Net bridge stays off");
    return false;
  }
  if (addressIndex < 0 || static_cast<size_t>(addressIndex) >= addresses_.size()) addressIndex = 0;
  addressIndex_.store(addressIndex);
  local_ = addresses_[static_cast<size_t>(addressIndex)];
  peer_.store(local_.address);
  log_.Add(Ipv4Text(local_.address));

  // Every datagram to the port arrives here, broadcasts too (a socket bound to one address
  // would miss the consoles' broadcast polls); IP_PKTINFO says on which interface and to
  // which address it came.
  receiveSocket_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (receiveSocket_ < 0) {
    std::fprintf(stderr, "socket() failed: %d\n", errno);
    log_.Add("Net_init() failed: " + ErrnoText());
    return false;
  }
  // Both would bind (address reuse), and unicast to the address would reach only one of them.
  portShared_ = PortTaken(local_.address, options_.port);
  if (portShared_) {
    log_.Add(fmt::format(
        "UDP port {} on {} is open in another program: datagrams sent to this address may reach "
        "it instead of Velquor Pro",
        options_.port, Ipv4Text(local_.address)));
  }
  const int on = 1;
  setsockopt(receiveSocket_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  setsockopt(receiveSocket_, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
  // Room for bursts of ArtDmx while the thread is busy (the kernel caps it at rmem_max).
  const int bufferBytes = 4 << 20;
  setsockopt(receiveSocket_, SOL_SOCKET, SO_RCVBUF, &bufferBytes, sizeof bufferBytes);
  const sockaddr_in any = SocketAddress(INADDR_ANY, options_.port);
  if (bind(receiveSocket_, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0) {
    log_.Add(fmt::format("bind() failed: port {}: {}", options_.port, ErrnoText()));
    close(receiveSocket_);
    receiveSocket_ = -1;
    return false;
  }

  sendSocket_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (sendSocket_ < 0) {
    log_.Add("Net_init() failed: " + ErrnoText());
  } else {
    setsockopt(sendSocket_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    const sockaddr_in from = SocketAddress(local_.address, 0);
    if (bind(sendSocket_, reinterpret_cast<const sockaddr*>(&from), sizeof from) != 0) {
      log_.Add(fmt::format("bind() failed: {}: {}", Ipv4Text(local_.address), ErrnoText()));
    }
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    if (getsockname(sendSocket_, reinterpret_cast<sockaddr*>(&bound), &length) == 0) {
      sendPort_ = ntohs(bound.sin_port);
    }
  }
  return true;
}

bool ArtNetBridge::StartReceiving() {
  if (receiveSocket_ < 0 || thread_.joinable()) return false;
  wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  stop_.store(false);
  thread_ = std::thread([this] { ReceiveLoop(); });
  return true;
}

void ArtNetBridge::StopReceiving() {
  if (thread_.joinable()) {
    stop_.store(true);
    const uint64_t one = 1;
    if (write(wakeFd_, &one, sizeof one) < 0) {
      // The thread still sees stop_ at its next datagram; nothing else to do.
    }
    thread_.join();
  }
}

void ArtNetBridge::Stop() {
  StopReceiving();
  for (int* fd : {&receiveSocket_, &sendSocket_, &wakeFd_}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
}

void ArtNetBridge::SetPortAddress(int portAddress) {
  portAddress_.store(std::clamp(portAddress, 0, kMaxPortAddress));
}

void ArtNetBridge::SetNodeName(std::string name) {
  std::lock_guard lock(nameMutex_);
  nodeName_ = std::move(name);
}

void ArtNetBridge::ReceiveLoop() {
  pthread_setname_np(pthread_self(), "velquor-net");
  // Datagrams are read in batches: at console rates one system call takes dozens of them.
  constexpr size_t kBatch = 32;
  using Control = std::array<char, CMSG_SPACE(sizeof(in_pktinfo))>;
  std::vector<std::array<uint8_t, kReceiveBufferBytes>> buffers(kBatch);
  std::vector<Control> controls(kBatch);
  std::array<sockaddr_in, kBatch> from{};
  std::array<iovec, kBatch> io{};
  std::array<mmsghdr, kBatch> messages{};
  const auto prepare = [&](size_t i) {
    io[i] = {buffers[i].data(), buffers[i].size()};
    msghdr& m = messages[i].msg_hdr;
    m = {};
    m.msg_name = &from[i];
    m.msg_namelen = sizeof from[i];
    m.msg_iov = &io[i];
    m.msg_iovlen = 1;
    m.msg_control = controls[i].data();
    m.msg_controllen = controls[i].size();
  };
  for (size_t i = 0; i < kBatch; ++i) prepare(i);
  pollfd fds[2] = {{receiveSocket_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
  // When datagrams come faster than they are read (a wake found more than one), the thread
  // wakes at most once a millisecond and takes what came meanwhile in one go: waking for
  // each datagram cost more than the datagrams. A question and its answer one at a time
  // (a console's poll) never wait; DMX leaves only every 40 ms anyway.
  constexpr auto kWakeSpacing = std::chrono::milliseconds(1);
  std::chrono::steady_clock::time_point lastWake{};
  size_t lastWakeRead = 0;
  while (!stop_.load()) {
    if (lastWakeRead > 1 && std::chrono::steady_clock::now() < lastWake + kWakeSpacing) {
      std::this_thread::sleep_until(lastWake + kWakeSpacing);
    }
    lastWakeRead = 0;
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      log_.Add("recv() failed: " + ErrnoText());
      clock_.SleepFor(std::chrono::milliseconds(1000));
      continue;
    }
    lastWake = std::chrono::steady_clock::now();
    if (stop_.load()) break;
    if (!(fds[0].revents & POLLIN)) continue;
    // Everything waiting is read before the next poll.
    for (;;) {
      const int n = recvmmsg(receiveSocket_, messages.data(), kBatch, MSG_DONTWAIT, nullptr);
      if (n < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && !stop_.load()) {
          log_.Add("recv() failed: " + ErrnoText());
        }
        break;
      }
      counters_.received.fetch_add(static_cast<uint64_t>(n), std::memory_order_relaxed);
      lastWakeRead += static_cast<size_t>(n);
      // While a show plays, the network drives nothing: what arrives is read and let go,
      // so no stale datagram is taken when the playback ends.
      const bool playing = view_.playbackActive.load();
      for (size_t i = 0; i < static_cast<size_t>(n); ++i) {
        if (!playing) TakeReceived(messages[i], from[i]);
        prepare(i);  // the kernel wrote its lengths into it
      }
      // A short batch emptied the queue: the next datagram is waited for.
      if (static_cast<size_t>(n) < kBatch || stop_.load()) break;
    }
  }
}

void ArtNetBridge::TakeReceived(mmsghdr& received, const sockaddr_in& from) {
  msghdr& message = received.msg_hdr;
  // Only what reaches the chosen interface, or its address, is for this node.
  const auto [destination, interfaceIndex] = ArrivalOf(message);
  if (!ReachesChosen(local_, interfaceIndex, destination)) return;
  // A datagram longer than the buffer is cut; the parser sees what fits.
  const size_t length = std::min<size_t>(received.msg_len, kReceiveBufferBytes);
  HandleDatagram(std::span(static_cast<const uint8_t*>(message.msg_iov->iov_base), length),
                 ntohl(from.sin_addr.s_addr), ntohs(from.sin_port), destination);
}

bool ArtNetBridge::SeenJustNow(std::span<const uint8_t> payload, Ipv4 source, uint16_t sourcePort,
                               common::Instant now) {
  const bool same =
      source == lastSource_ && sourcePort == lastSourcePort_ &&
      now - lastTime_ <= options_.copyWindow &&
      std::equal(payload.begin(), payload.end(), lastDatagram_.begin(), lastDatagram_.end());
  lastSource_ = source;
  lastSourcePort_ = sourcePort;
  lastTime_ = now;
  lastDatagram_.assign(payload.begin(), payload.end());
  return same;
}

void ArtNetBridge::LimitedLine::Add(common::LogSink& log, common::Instant now, std::string line,
                                    const char* what) {
  if (last && now - *last < std::chrono::seconds(1)) {
    ++since;
    return;
  }
  if (since > 0) line += fmt::format(" ({} more {} before it)", since, what);
  log.Add(std::move(line));
  since = 0;
  last = now;
}

void ArtNetBridge::DropWithLine(const std::string& reason, Ipv4 source) {
  counters_.dropped.fetch_add(1, std::memory_order_relaxed);
  // A broken sender repeats itself many times a second.
  dropLine_.Add(log_, clock_.Now(),
                fmt::format("Art-Net datagram from {} dropped: {}", Ipv4Text(source), reason),
                "dropped");
}

void ArtNetBridge::HandleDatagram(std::span<const uint8_t> payload, Ipv4 source,
                                  uint16_t sourcePort, Ipv4 destination) {
  // What the node sends to its own address or broadcasts comes back to it; a console on this
  // computer sends from the same address but another port.
  if (source == local_.address && sourcePort == sendPort_ && sendPort_ != 0) return;
  const common::Instant now = clock_.Now();
  if (SeenJustNow(payload, source, sourcePort, now)) {
    counters_.dropped.fetch_add(1, std::memory_order_relaxed);
    return;
  }
  const ArtNetDatagram d = ParseArtNet(payload);
  if (d.kind == ArtNetDatagram::Kind::Dropped) {
    DropWithLine(d.reason, source);
    return;
  }
  peer_.store(source);
  switch (d.kind) {
    case ArtNetDatagram::Kind::Dmx:
      // An ArtDmx for another port-address is for another node.
      if (d.portAddress == portAddress_.load()) TakeArtDmx(d, source, destination, now);
      break;
    case ArtNetDatagram::Kind::Poll:
      SendArtPollReply();
      break;
    case ArtNetDatagram::Kind::TodRequest:
    case ArtNetDatagram::Kind::TodControl:
      SendArtTodData({source, sourcePort});
      break;
    case ArtNetDatagram::Kind::Rdm:
      RelayRdm(d, {source, sourcePort});
      break;
    default:
      break;
  }
}

bool ArtNetBridge::FirstNotTaken(bool& said, bool takenNow) {
  if (takenNow || said) {
    said = !takenNow && said;
    return false;
  }
  said = true;
  return true;
}

BridgeStatus ArtNetBridge::Status() const {
  BridgeStatus status;
  status.portAddress = portAddress_.load();
  status.portShared = portShared_;
  status.port = options_.port;
  const common::Instant now = clock_.Now();
  std::lock_guard lock(statusMutex_);
  status.framesPerSecond = static_cast<int>(
      std::count_if(dmxArrivals_.begin(), dmxArrivals_.end(),
                    [&](common::Instant t) { return now - t < std::chrono::seconds(1); }));
  status.receiving = status.framesPerSecond > 0;
  status.from = dmxFrom_;
  return status;
}

void ArtNetBridge::TakeArtDmx(const ArtNetDatagram& d, Ipv4 source, Ipv4 destination,
                              common::Instant now) {
  {
    std::lock_guard lock(statusMutex_);
    // Oldest first: only the front can have expired.
    while (!dmxArrivals_.empty() && now - dmxArrivals_.front() >= std::chrono::seconds(1)) {
      dmxArrivals_.pop_front();
    }
    if (dmxArrivals_.size() < 1000) dmxArrivals_.push_back(now);
    dmxFrom_ = source;
  }
  if (d.declaredLength == 0) return;
  const bool pageTakes = view_.mode.load() == dmx::OutputMode::ArtNet;
  const bool directionTakes = view_.artNetDirection.load() == 0;
  // One network input drives the universe: while the page takes sACN, ArtDmx waits.
  const bool protocolTakes = view_.networkProtocol.load() == dmx::NetworkProtocol::ArtNet;
  // The line is built only when it is said: formatting it for every datagram cost more than
  // taking the datagram.
  if (FirstNotTaken(saidDmxNotTaken_, pageTakes && directionTakes && protocolTakes)) {
    log_.Add(!pageTakes ? fmt::format("ArtDmx for universe {} arriving from {}; open the Art-Net "
                                      "page to output it",
                                      d.portAddress, Ipv4Text(source))
             : !protocolTakes
                 ? fmt::format("ArtDmx for universe {} arriving from {}; the Art-Net page takes "
                               "sACN: choose Art-Net to output it",
                               d.portAddress, Ipv4Text(source))
                 : fmt::format("ArtDmx for universe {} arriving from {}; the Art-Net page "
                               "sends DMX512 to Art-Net: choose Art-Net To DMX512 to "
                               "output it",
                               d.portAddress, Ipv4Text(source)));
  }
  if (!pageTakes || !directionTakes || !protocolTakes) return;
  if (d.data.size() < std::min<size_t>(d.declaredLength, 512)) {
    DropWithLine(fmt::format("ArtDmx says {} slots, {} arrived; only those taken", d.declaredLength,
                             d.data.size()),
                 source);
  }
  universe_.StoreBlock(0, d.data);
  counters_.dmxTaken.fetch_add(1, std::memory_order_relaxed);
  if (signalTesting_.load()) {
    log_.Add(fmt::format("{}:[{}]->{} length:{}", Ipv4Text(source), d.sequence,
                         Ipv4Text(destination), d.declaredLength));
  }
  if (view_.showRunning.load() && hooks_.requestRecordFrame) hooks_.requestRecordFrame();
}

void ArtNetBridge::ForgetTransaction(int transaction) {
  int expected = transaction;
  lastRdmTransaction_.compare_exchange_strong(expected, -1);
}

void ArtNetBridge::RelayRdm(const ArtNetDatagram& d, Sender requester) {
  const bool pageTakes = options_.relayAlways || view_.mode.load() == dmx::OutputMode::RdmConsole;
  if (FirstNotTaken(saidRdmNotRelayed_, pageTakes)) {
    log_.Add(fmt::format("ArtRdm arriving from {}; open the MA2 Rdm Command page to relay it",
                         Ipv4Text(requester.address)));
  }
  if (!pageTakes) return;
  if (d.rdmPortId == 0) return;
  const int transaction = d.rdmTransaction;
  if (lastRdmTransaction_.load() == transaction) return;  // asked already
  lastRdmTransaction_.store(transaction);
  std::vector<uint8_t> message(d.rdmMessage.begin(), d.rdmMessage.end());
  rdm::LineExecutor::QueuedJob job;
  job.run = [this, message = std::move(message), transaction, requester] {
    engine_.ResetRetryCounter();
    const rdm::RdmAnswer answer = engine_.RdmRelay(message);
    if (answer.Ok()) {
      SendArtRdmReply(answer, requester);
    } else {
      ForgetTransaction(transaction);
    }
  };
  job.expired = [this, transaction](const std::string& heldBy) {
    log_.Add(fmt::format("Art-Net RDM request {} not relayed: {} held the line too long",
                         transaction, heldBy.empty() ? std::string("another command") : heldBy));
    ForgetTransaction(transaction);
  };
  job.deadline = std::chrono::steady_clock::now() + options_.relayWait;
  if (!line_.Queue(std::move(job))) {
    // A console flooding requests during a discovery.
    refusedLine_.Add(log_, clock_.Now(),
                     fmt::format("Art-Net RDM request {} not relayed: the line takes no more "
                                 "requests now",
                                 transaction),
                     "refused");
    ForgetTransaction(transaction);
    return;
  }
  counters_.relayed.fetch_add(1, std::memory_order_relaxed);
}

void ArtNetBridge::SendTo(Ipv4 destination, std::span<const uint8_t> packet, uint16_t port) {
  if (sendSocket_ < 0) return;
  const sockaddr_in to = SocketAddress(destination, port != 0 ? port : options_.port);
  // Counted before it leaves, so whoever receives it finds it counted already.
  counters_.sent.fetch_add(1, std::memory_order_relaxed);
  if (sendto(sendSocket_, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&to),
             sizeof to) != static_cast<ssize_t>(packet.size())) {
    counters_.sent.fetch_sub(1, std::memory_order_relaxed);
  }
}

void ArtNetBridge::SendArtPollReply() {
  PollReplyFields fields;
  // The address list is read again for each reply, so a changed choice shows at once.
  const std::vector<HostAddress> now = ListHostAddresses();
  const size_t index = static_cast<size_t>(addressIndex_.load());
  fields.address = Ipv4Bytes(index < now.size() ? now[index].address : local_.address);
  fields.portAddress = portAddress_.load();
  {
    std::lock_guard lock(nameMutex_);
    fields.name = nodeName_;
  }
  fields.replyCounter = pollReplyCounter_;
  if (++pollReplyCounter_ > 999999) pollReplyCounter_ = 0;
  SendTo(peer_.load(), BuildArtPollReply(fields));
}

void ArtNetBridge::SendArtTodData(Sender requester) {
  const std::vector<rdm::Uid> uids =
      hooks_.deviceUids ? hooks_.deviceUids() : std::vector<rdm::Uid>{};
  // ArtTodData is broadcast on the chosen network, so every console there learns the table,
  // and goes back to the one that asked where the broadcast cannot reach it.
  for (const Packet& p : BuildArtTodData(portAddress_.load(), uids)) {
    if (local_.broadcast) SendTo(*local_.broadcast, p);
    // A console listening on a port of its own hears no broadcast to the Art-Net port.
    if (!local_.broadcast || requester.port != options_.port) {
      SendTo(requester.address, p, requester.port);
    }
  }
}

void ArtNetBridge::SendArtRdmReply(const rdm::RdmAnswer& answer, Sender requester) {
  const size_t messageLength = answer.response[rdm::kMessageLength];
  // Sub-start code to the end of the checksum.
  const size_t bytes = std::min(messageLength + 1, answer.response.size() - 1);
  counters_.rdmAnswered.fetch_add(1, std::memory_order_relaxed);
  // To the console that asked, wherever the last datagram came from.
  SendTo(requester.address,
         BuildArtRdm(portAddress_.load(), std::span(answer.response.data() + 1, bytes)),
         requester.port);
}

void ArtNetBridge::SendArtDmx() {
  const dmx::OutputUniverse::Bytes frame = universe_.Snapshot();
  const auto packet =
      dmxOutput_.Next(portAddress_.load(), std::span<const uint8_t, 512>(frame.data(), 512));
  if (packet) SendTo(peer_.load(), *packet);
}

}  // namespace velquor::net
