#include "net/HostInterfaces.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "fmt/format.h"

namespace velquor::net {

std::string Ipv4Text(Ipv4 a) {
  return fmt::format("{}.{}.{}.{}", a >> 24, (a >> 16) & 0xFF, (a >> 8) & 0xFF, a & 0xFF);
}

std::optional<Ipv4> ParseIpv4(const std::string& text) {
  in_addr parsed{};
  if (inet_pton(AF_INET, text.c_str(), &parsed) != 1) return std::nullopt;
  return ntohl(parsed.s_addr);
}

std::array<uint8_t, 4> Ipv4Bytes(Ipv4 a) {
  return {static_cast<uint8_t>(a >> 24), static_cast<uint8_t>(a >> 16),
          static_cast<uint8_t>(a >> 8), static_cast<uint8_t>(a)};
}

bool ReachesChosen(const HostAddress& chosen, unsigned arrivedOn, Ipv4 destination) {
  return chosen.interfaceIndex == 0 || arrivedOn == 0 || arrivedOn == chosen.interfaceIndex ||
         destination == chosen.address;
}

Arrival ArrivalOf(msghdr& message) {
  Arrival arrival;
  for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
    if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
      in_pktinfo info{};
      std::memcpy(&info, CMSG_DATA(c), sizeof info);
      arrival.destination = ntohl(info.ipi_addr.s_addr);
      arrival.interfaceIndex = static_cast<unsigned>(info.ipi_ifindex);
    }
  }
  return arrival;
}

sockaddr_in SocketAddress(Ipv4 address, uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(address);
  a.sin_port = htons(port);
  return a;
}

bool PortTaken(Ipv4 address, uint16_t port) {
  const int probe = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (probe < 0) return false;
  const sockaddr_in a = SocketAddress(address, port);
  const bool taken =
      bind(probe, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 && errno == EADDRINUSE;
  close(probe);
  return taken;
}

std::vector<HostAddress> ListHostAddresses() {
  std::vector<HostAddress> found;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return found;
  for (const ifaddrs* i = list; i; i = i->ifa_next) {
    if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || !(i->ifa_flags & IFF_UP)) continue;
    HostAddress h;
    h.interfaceName = i->ifa_name;
    h.interfaceIndex = if_nametoindex(i->ifa_name);
    h.address = ntohl(reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr);
    if (i->ifa_netmask) {
      h.netmask = ntohl(reinterpret_cast<const sockaddr_in*>(i->ifa_netmask)->sin_addr.s_addr);
    }
    if ((i->ifa_flags & IFF_BROADCAST) && i->ifa_broadaddr) {
      h.broadcast = ntohl(reinterpret_cast<const sockaddr_in*>(i->ifa_broadaddr)->sin_addr.s_addr);
    }
    h.loopback = (i->ifa_flags & IFF_LOOPBACK) != 0;
    found.push_back(std::move(h));
  }
  freeifaddrs(list);
  std::stable_partition(found.begin(), found.end(),
                        [](const HostAddress& h) { return !h.loopback; });
  return found;
}

}  // namespace velquor::net
