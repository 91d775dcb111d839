#pragma once
// The host's IPv4 addresses, the choices of the Art-Net page's address list.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct msghdr;
struct sockaddr_in;

namespace velquor::net {

// An IPv4 address in host order (192.168.1.20 is 0xC0A80114).
using Ipv4 = uint32_t;

std::string Ipv4Text(Ipv4 address);
std::optional<Ipv4> ParseIpv4(const std::string& text);
std::array<uint8_t, 4> Ipv4Bytes(Ipv4 address);

struct HostAddress {
  std::string interfaceName;
  unsigned interfaceIndex = 0;
  Ipv4 address = 0;
  Ipv4 netmask = 0;
  std::optional<Ipv4> broadcast;  // the directed broadcast, when the interface has one
  bool loopback = false;
};

// Whether a datagram that came in on interface `arrivedOn` (0: unknown) for `destination`
// is for a node on `chosen`: it reached the chosen interface, or a program on this computer
// sent it to the chosen address (those come in through the loopback interface).
bool ReachesChosen(const HostAddress& chosen, unsigned arrivedOn, Ipv4 destination);
// Where a received datagram went, from the IP_PKTINFO its `message` carries (0: unknown).
struct Arrival {
  Ipv4 destination = 0;
  unsigned interfaceIndex = 0;
};
Arrival ArrivalOf(msghdr& message);

sockaddr_in SocketAddress(Ipv4 address, uint16_t port);
// Whether another socket has `port` on `address` (or on every address): a socket without
// address reuse cannot bind beside it, and unicast may reach that one instead.
bool PortTaken(Ipv4 address, uint16_t port);

// Every IPv4 address of an interface that is up: the network's first, loopback last (so a
// laptop without a network can still bridge on itself).
std::vector<HostAddress> ListHostAddresses();

}  // namespace velquor::net
