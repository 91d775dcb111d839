#include "net/HostInterfaces.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <algorithm>

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
