#include "net/SacnNode.h"

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
#include <cstring>

namespace velquor::net {

namespace {

constexpr auto kSendPeriod = std::chrono::microseconds(22727);  // 44 packets a second
constexpr auto kDiscoveryPeriod = std::chrono::seconds(10);
constexpr auto kExpiryPoll = std::chrono::milliseconds(100);

void KeepLastSecond(std::vector<common::Instant>& times, common::Instant now) {
  std::erase_if(times, [&](common::Instant t) { return now - t >= std::chrono::seconds(1); });
}

}  // namespace

SacnNode::SacnNode(dmx::OutputUniverse& universe, dmx::EngineView& view, common::LogSink& log,
                   common::Clock& clock, SacnOptions options)
    : output_(universe), view_(view), log_(log), clock_(clock), options_(options) {}

SacnNode::~SacnNode() {
  Stop();
}

bool SacnNode::Open(const HostAddress& local) {
  // Opened once: like the Art-Net node's, the sockets stay where start-up put them.
  if (receiver_.joinable()) return true;
  local_ = local;
  receiveSocket_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (receiveSocket_ < 0) {
    log_.Add(fmt::format("sACN: no socket: {}", std::strerror(errno)));
    return false;
  }
  portShared_ = PortTaken(local_.address, options_.port);
  if (portShared_) {
    log_.Add(
        fmt::format("UDP port {} on {} is open in another program: sACN sent to this address "
                    "may reach it instead of Velquor Pro",
                    options_.port, Ipv4Text(local_.address)));
  }
  const int on = 1, off = 0;
  setsockopt(receiveSocket_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  setsockopt(receiveSocket_, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
  // Only the groups this socket joins, not every group some program on the computer joined.
  setsockopt(receiveSocket_, IPPROTO_IP, IP_MULTICAST_ALL, &off, sizeof off);
  const int bufferBytes = 4 << 20;
  setsockopt(receiveSocket_, SOL_SOCKET, SO_RCVBUF, &bufferBytes, sizeof bufferBytes);
  const sockaddr_in any = SocketAddress(INADDR_ANY, options_.port);
  if (bind(receiveSocket_, reinterpret_cast<const sockaddr*>(&any), sizeof any) != 0) {
    log_.Add(fmt::format("sACN: bind() failed: port {}: {}", options_.port, std::strerror(errno)));
    close(receiveSocket_);
    receiveSocket_ = -1;
    return false;
  }

  sendSocket_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (sendSocket_ >= 0) {
    const sockaddr_in from = SocketAddress(local_.address, 0);
    if (bind(sendSocket_, reinterpret_cast<const sockaddr*>(&from), sizeof from) != 0) {
      log_.Add(fmt::format("sACN: bind() failed: {}: {}", Ipv4Text(local_.address),
                           std::strerror(errno)));
    }
    // Multicast leaves by the chosen interface only, and a receiver on this computer hears it.
    in_addr interface { htonl(local_.address) };
    setsockopt(sendSocket_, IPPROTO_IP, IP_MULTICAST_IF, &interface, sizeof interface);
    setsockopt(sendSocket_, IPPROTO_IP, IP_MULTICAST_LOOP, &on, sizeof on);
  }

  wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  stopReceiving_.store(false);
  UpdateMembership();
  receiver_ = std::thread([this] { ReceiveLoop(); });
  return true;
}

void SacnNode::Stop() {
  StopSending();
  if (receiver_.joinable()) {
    stopReceiving_.store(true);
    const uint64_t one = 1;
    if (write(wakeFd_, &one, sizeof one) < 0) {
      // The thread sees the flag within 100 ms anyway.
    }
    receiver_.join();
  }
  for (int* fd : {&receiveSocket_, &sendSocket_, &wakeFd_}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
  joined_.reset();
}

void SacnNode::SetSourceName(std::string name) {
  std::lock_guard lock(nameMutex_);
  name_ = std::move(name);
}

void SacnNode::SetUniverse(int universe) {
  universe = std::clamp(universe, kSacnMinUniverse, kSacnMaxUniverse);
  if (universe_.exchange(universe) == universe) return;
  {
    // Another universe's sources are not this one's.
    std::lock_guard lock(mergeMutex_);
    merger_.Clear();
    arrivals_.clear();
  }
  UpdateMembership();
}

void SacnNode::SetPriority(int priority) {
  priority_.store(std::clamp(priority, 0, kSacnMaxPriority));
}

void SacnNode::SetDirection(SacnDirection direction) {
  const SacnDirection was = direction_.exchange(direction);
  if (was == direction) return;
  if (was == SacnDirection::Out) StopSending();
  if (was == SacnDirection::In) {
    std::lock_guard lock(mergeMutex_);
    merger_.Clear();
    arrivals_.clear();
  }
  UpdateMembership();
  if (direction == SacnDirection::Out && sendSocket_ >= 0) {
    std::lock_guard lock(sendMutex_);
    stopSending_.store(false);
    sender_ = std::thread([this] { SendLoop(); });
  }
}

void SacnNode::StopSending() {
  std::lock_guard lock(sendMutex_);
  if (!sender_.joinable()) return;
  stopSending_.store(true);
  sender_.join();
}

void SacnNode::UpdateMembership() {
  std::lock_guard lock(membershipMutex_);
  if (receiveSocket_ < 0) return;
  const std::optional<int> wanted =
      direction_.load() == SacnDirection::In ? std::optional<int>(universe_.load()) : std::nullopt;
  if (wanted == joined_) return;
  auto request = [&](int universe) {
    ip_mreqn m{};
    m.imr_multiaddr.s_addr = htonl(SacnGroup(universe));
    m.imr_address.s_addr = htonl(local_.address);
    m.imr_ifindex = static_cast<int>(local_.interfaceIndex);
    return m;
  };
  if (joined_) {
    const ip_mreqn m = request(*joined_);
    setsockopt(receiveSocket_, IPPROTO_IP, IP_DROP_MEMBERSHIP, &m, sizeof m);
    joined_.reset();
  }
  if (wanted) {
    const ip_mreqn m = request(*wanted);
    if (setsockopt(receiveSocket_, IPPROTO_IP, IP_ADD_MEMBERSHIP, &m, sizeof m) != 0) {
      // Unicast still arrives.
      log_.Add(fmt::format("sACN: cannot join {} on {}: {}", Ipv4Text(SacnGroup(*wanted)),
                           Ipv4Text(local_.address), std::strerror(errno)));
    } else {
      joined_ = wanted;
    }
  }
}

void SacnNode::ReceiveLoop() {
  pthread_setname_np(pthread_self(), "velquor-sacn");
  std::array<uint8_t, 2048> buffer{};
  std::array<char, CMSG_SPACE(sizeof(in_pktinfo))> control{};
  pollfd fds[2] = {{receiveSocket_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
  while (!stopReceiving_.load()) {
    const int ready = poll(fds, 2, static_cast<int>(kExpiryPoll.count()));
    if (ready < 0 && errno != EINTR) {
      log_.Add(fmt::format("sACN: recv() failed: {}", std::strerror(errno)));
      clock_.SleepFor(std::chrono::seconds(1));
    }
    ExpireSources();
    if (stopReceiving_.load()) break;
    if (ready <= 0 || !(fds[0].revents & POLLIN)) continue;
    for (;;) {
      sockaddr_in from{};
      iovec io{buffer.data(), buffer.size()};
      msghdr message{};
      message.msg_name = &from;
      message.msg_namelen = sizeof from;
      message.msg_iov = &io;
      message.msg_iovlen = 1;
      message.msg_control = control.data();
      message.msg_controllen = control.size();
      const ssize_t n = recvmsg(receiveSocket_, &message, MSG_DONTWAIT);
      if (n < 0) break;
      if (view_.playbackActive.load()) continue;  // a show drives the universe
      const Arrival arrival = ArrivalOf(message);
      if (!ReachesChosen(local_, arrival.interfaceIndex, arrival.destination)) continue;
      HandleDatagram(std::span(buffer.data(), static_cast<size_t>(n)), ntohl(from.sin_addr.s_addr));
    }
  }
}

bool SacnNode::PageTakes() const {
  return view_.mode.load() == dmx::OutputMode::ArtNet && view_.artNetDirection.load() == 0 &&
         view_.networkProtocol.load() == dmx::NetworkProtocol::Sacn;
}

void SacnNode::Limited(std::optional<common::Instant>& last, uint64_t& since, std::string line) {
  // A broken or crowded network repeats itself many times a second.
  const common::Instant now = clock_.Now();
  if (last && now - *last < std::chrono::seconds(1)) {
    ++since;
    return;
  }
  if (since > 0) line += fmt::format(" ({} more before it)", since);
  log_.Add(std::move(line));
  since = 0;
  last = now;
}

void SacnNode::Say(bool& said, bool takenNow, const std::string& line) {
  if (takenNow) {
    said = false;
  } else if (!said) {
    log_.Add(line);
    said = true;
  }
}

void SacnNode::PutMerge() {
  const auto levels = merger_.Levels();
  // With no source left the universe holds its last levels.
  if (!levels || !PageTakes()) return;
  output_.StoreBlock(0, *levels);
  if (view_.showRunning.load() && frameTaken_) frameTaken_();
}

void SacnNode::HandleDatagram(std::span<const uint8_t> payload, Ipv4 source) {
  if (direction_.load() != SacnDirection::In) return;
  counters_.received.fetch_add(1, std::memory_order_relaxed);
  const SacnDatagram d = ParseSacn(payload);
  std::lock_guard lock(mergeMutex_);
  if (d.kind == SacnDatagram::Kind::Dropped) {
    counters_.dropped.fetch_add(1, std::memory_order_relaxed);
    Limited(dropLast_, dropSince_,
            fmt::format("sACN datagram from {} dropped: {}", Ipv4Text(source), d.reason));
    return;
  }
  // Our own packets come back by multicast loop; other universes are for other nodes.
  if (d.kind != SacnDatagram::Kind::Data || d.cid == cid_ || d.universe != universe_.load()) {
    return;
  }
  const common::Instant now = clock_.Now();
  const bool known = merger_.Sources().contains(d.cid);
  switch (merger_.Take(d, source, now)) {
    case SacnMerger::Result::Late:
      counters_.late.fetch_add(1, std::memory_order_relaxed);
      return;
    case SacnMerger::Result::Ignored:
      return;
    case SacnMerger::Result::TooMany:
      Limited(tooManyLast_, tooManySince_,
              fmt::format("sACN universe {}: source '{}' {} not heard: {} sources already",
                          d.universe, d.sourceName, Ipv4Text(source), SacnMerger::kMaxSources));
      return;
    case SacnMerger::Result::Ended:
      if (known) {
        log_.Add(fmt::format("sACN universe {}: source '{}' {} ended its stream", d.universe,
                             d.sourceName, Ipv4Text(source)));
        PutMerge();
      }
      return;
    case SacnMerger::Result::Merged:
      break;
  }
  if (!known) {
    log_.Add(fmt::format("sACN universe {}: source '{}' {} ({}), priority {}", d.universe,
                         d.sourceName, Ipv4Text(source), CidText(d.cid), d.priority));
  }
  counters_.taken.fetch_add(1, std::memory_order_relaxed);
  KeepLastSecond(arrivals_, now);
  if (arrivals_.size() < 1000) arrivals_.push_back(now);
  const bool takes = PageTakes();
  Say(saidNotTaken_, takes,
      view_.mode.load() != dmx::OutputMode::ArtNet
          ? fmt::format("sACN for universe {} arriving from {}; open the Art-Net page to output it",
                        d.universe, Ipv4Text(source))
          : fmt::format("sACN for universe {} arriving from {}; choose sACN and Art-Net To "
                        "DMX512 on the Art-Net page to output it",
                        d.universe, Ipv4Text(source)));
  PutMerge();
}

void SacnNode::ExpireSources() {
  std::lock_guard lock(mergeMutex_);
  const std::vector<std::string> gone = merger_.Expire(clock_.Now());
  for (const std::string& name : gone) {
    log_.Add(fmt::format("sACN universe {}: source '{}' silent for 2.5 s, forgotten",
                         universe_.load(), name));
  }
  if (!gone.empty()) PutMerge();
}

void SacnNode::SendPacket(std::span<const uint8_t> packet, Ipv4 group) {
  const sockaddr_in to = SocketAddress(options_.unicastTo.value_or(group), options_.port);
  if (sendto(sendSocket_, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&to),
             sizeof to) == static_cast<ssize_t>(packet.size())) {
    counters_.sent.fetch_add(1, std::memory_order_relaxed);
  }
}

void SacnNode::NoteSent(common::Instant now) {
  std::lock_guard lock(mergeMutex_);
  KeepLastSecond(sentTimes_, now);
  sentTimes_.push_back(now);
}

void SacnNode::SendLoop() {
  pthread_setname_np(pthread_self(), "velquor-sacn-tx");
  SacnSendRule rule;
  uint8_t sequence = 0;
  SacnSourceFields fields;
  fields.cid = cid_;
  std::optional<common::Instant> lastDiscovery;
  common::Instant deadline = clock_.Now();
  dmx::OutputUniverse::Bytes frame{};
  auto levels = [&] { return std::span<const uint8_t, 512>(frame.data(), 512); };
  auto send = [&](bool terminated) {
    SendPacket(BuildSacnData(fields, sequence++, terminated, levels()), SacnGroup(fields.universe));
  };
  bool started = false;
  while (!stopSending_.load()) {
    const common::Instant now = clock_.Now();
    {
      std::lock_guard lock(nameMutex_);
      fields.name = name_;
    }
    const int universe = universe_.load();
    const uint8_t priority = static_cast<uint8_t>(priority_.load());
    if (started && (universe != fields.universe || priority != fields.priority)) {
      // A receiver of the old universe learns at once that this source left it.
      if (universe != fields.universe) {
        for (int i = 0; i < 3; ++i) send(true);
      }
      rule.Reset();
    }
    fields.universe = universe;
    fields.priority = priority;
    started = true;
    frame = output_.Snapshot();
    if (rule.Due(now, levels())) {
      send(false);
      NoteSent(now);
    }
    if (!lastDiscovery || now - *lastDiscovery >= kDiscoveryPeriod) {
      SendPacket(BuildSacnDiscovery(cid_, fields.name, {static_cast<uint16_t>(universe)}),
                 SacnGroup(kSacnDiscoveryUniverse));
      lastDiscovery = now;
    }
    deadline = dmx::NextTickDeadline(deadline, clock_.Now(), kSendPeriod);
    clock_.SleepUntil(deadline);
  }
  // Three packets that end the stream, so receivers let go of this source at once.
  if (started) {
    for (int i = 0; i < 3; ++i) send(true);
  }
}

SacnStatus SacnNode::Status() const {
  SacnStatus s;
  s.universe = universe_.load();
  s.priority = priority_.load();
  s.portShared = portShared_;
  const common::Instant now = clock_.Now();
  std::lock_guard lock(mergeMutex_);
  switch (direction_.load()) {
    case SacnDirection::Off:
      s.mode = SacnStatus::Mode::Off;
      return s;
    case SacnDirection::Out:
      s.mode = SacnStatus::Mode::Sending;
      s.framesPerSecond = static_cast<int>(
          std::count_if(sentTimes_.begin(), sentTimes_.end(),
                        [&](common::Instant t) { return now - t < std::chrono::seconds(1); }));
      return s;
    case SacnDirection::In:
      break;
  }
  s.mode = SacnStatus::Mode::Receiving;
  s.framesPerSecond =
      static_cast<int>(std::count_if(arrivals_.begin(), arrivals_.end(), [&](common::Instant t) {
        return now - t < std::chrono::seconds(1);
      }));
  const SacnMerger::Source* shown = nullptr;
  for (const auto& [cid, source] : merger_.Sources()) {
    // The source whose levels are out: the highest priority, the one heard last among equals.
    if (!shown || source.priority > shown->priority ||
        (source.priority == shown->priority && source.last > shown->last)) {
      shown = &source;
    }
  }
  s.sources = static_cast<int>(merger_.Sources().size());
  if (shown) {
    s.name = shown->name;
    s.from = shown->address;
    s.priority = shown->priority;
  }
  return s;
}

}  // namespace velquor::net
