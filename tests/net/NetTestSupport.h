#pragma once
// A console on the loopback network: a UDP socket on 127.0.0.2 at the bridge's port, which
// is where the bridge sends everything once it has heard from it. Tests never use any
// address but the loopback ones they make here.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "TempDir.h"
#include "common/Text.h"
#include "net/HostInterfaces.h"

namespace velquor::testsupport {

inline constexpr net::Ipv4 kBridgeAddress = 0x7F000001;   // 127.0.0.1
inline constexpr net::Ipv4 kConsoleAddress = 0x7F000002;  // 127.0.0.2

// A UDP port nobody uses now, so parallel tests do not meet on 6454.
inline uint16_t FreeUdpPort() {
  const int s = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a = net::SocketAddress(kBridgeAddress, 0);
  bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  close(s);
  return ntohs(a.sin_port);
}

// The index of 127.0.0.1 in the host's address list, or -1.
inline int LoopbackIndex(const std::vector<net::HostAddress>& addresses) {
  for (size_t i = 0; i < addresses.size(); ++i) {
    if (addresses[i].address == kBridgeAddress) return static_cast<int>(i);
  }
  return -1;
}

class UdpPeer {
 public:
  // `bindPort` 0: an ephemeral port.
  UdpPeer(net::Ipv4 address, uint16_t bindPort, uint16_t bridgePort) : bridgePort_(bridgePort) {
    fd_ = socket(AF_INET, SOCK_DGRAM, 0);
    const int on = 1;
    setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const int bufferBytes = 4 << 20;
    setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bufferBytes, sizeof bufferBytes);
    sockaddr_in a = net::SocketAddress(address, bindPort);
    bound_ = bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  }
  ~UdpPeer() { close(fd_); }
  UdpPeer(const UdpPeer&) = delete;
  UdpPeer& operator=(const UdpPeer&) = delete;

  bool Bound() const { return bound_; }
  bool Send(std::span<const uint8_t> bytes, net::Ipv4 to = kBridgeAddress) const {
    sockaddr_in a = net::SocketAddress(to, bridgePort_);
    return sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a) ==
           static_cast<ssize_t>(bytes.size());
  }
  // The next datagram, waiting at most `timeoutMs` for it.
  std::optional<std::vector<uint8_t>> Receive(int timeoutMs = 5000) const {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) != 1) return std::nullopt;
    std::vector<uint8_t> buffer(2048);
    const ssize_t n = recv(fd_, buffer.data(), buffer.size(), 0);
    if (n < 0) return std::nullopt;
    buffer.resize(static_cast<size_t>(n));
    return buffer;
  }

 private:
  int fd_ = -1;
  bool bound_ = false;
  uint16_t bridgePort_ = 0;
};

// An sACN data packet as E1.31-2018 lays it out: root layer (preamble 0x0010, post-amble 0,
// "ASC-E1.17", VECTOR_ROOT_E131_DATA, the CID), framing layer (VECTOR_E131_DATA_PACKET, the
// source name in 64 bytes, priority, no sync address, sequence, options, universe), DMP
// layer (0x02, 0xA1, first address 0, increment 1, count = start code + slots); each
// flags-and-length field 0x7 and the bytes from its own start to the end.
inline std::vector<uint8_t> SacnData(const std::array<uint8_t, 16>& cid, const std::string& name,
                                     int universe, uint8_t sequence,
                                     const std::vector<uint8_t>& levels, uint8_t priority = 100,
                                     uint8_t options = 0, uint8_t startCode = 0) {
  const size_t n = 126 + levels.size(), count = levels.size() + 1;
  std::vector<uint8_t> p{0x00, 0x10, 0x00, 0x00, 'A', 'S', 'C', '-',
                         'E',  '1',  '.',  '1',  '7', 0,   0,   0};
  auto push = [&p](std::initializer_list<int> bytes) {
    for (int b : bytes) p.push_back(uint8_t(b));
  };
  auto flagsLength = [&](size_t from) {
    push({0x70 | int((n - from) >> 8), int((n - from) & 0xFF)});
  };
  flagsLength(16);
  push({0, 0, 0, 4});
  p.insert(p.end(), cid.begin(), cid.end());
  flagsLength(38);
  push({0, 0, 0, 2});
  p.insert(p.end(), name.begin(), name.end());
  p.resize(108, 0);
  push({priority, 0, 0, sequence, options, universe >> 8, universe & 0xFF});
  flagsLength(115);
  push({0x02, 0xA1, 0, 0, 0, 1, int(count >> 8), int(count & 0xFF), startCode});
  p.insert(p.end(), levels.begin(), levels.end());
  return p;
}

// `p` with the bytes from `at` on set to `bytes`.
inline std::vector<uint8_t> With(std::vector<uint8_t> p, size_t at,
                                 std::initializer_list<int> bytes) {
  for (int b : bytes) p.at(at++) = static_cast<uint8_t>(b);
  return p;
}

inline uint16_t OpCodeOf(const std::vector<uint8_t>& packet) {
  return packet.size() < 10 ? 0 : static_cast<uint16_t>(packet[8] | (packet[9] << 8));
}

// Datagrams as consoles send them, byte by byte from the Art-Net 4 document: the ID, the
// OpCode (low byte first), protocol version 14, then the operation's fields.
inline std::vector<uint8_t> ArtNet(std::initializer_list<int> fields) {
  std::vector<uint8_t> p{'A', 'r', 't', '-', 'N', 'e', 't', 0};
  for (int v : fields) p.push_back(static_cast<uint8_t>(v));
  return p;
}

inline std::vector<uint8_t> ArtPoll() {
  return ArtNet({0x00, 0x20, 0x00, 0x0E, 0x02, 0x00});
}

// ArtDmx to `portAddress` (SubUni, Net) saying `length` slots (the data's size unless given).
inline std::vector<uint8_t> ArtDmx(int portAddress, uint8_t sequence,
                                   const std::vector<uint8_t>& data, int length = -1) {
  if (length < 0) length = static_cast<int>(data.size());
  auto p = ArtNet({0x00, 0x50, 0x00, 0x0E, sequence, 0x00, portAddress & 0xFF, portAddress >> 8,
                   length >> 8, length & 0xFF});
  p.insert(p.end(), data.begin(), data.end());
  return p;
}

// ArtTodRequest for Net 1, address 0x23 (port-address 291).
inline std::vector<uint8_t> ArtTodRequest() {
  auto p = ArtNet({0x00, 0x80, 0x00, 0x0E, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x00, 0x01, 0x23});
  p.resize(56, 0);
  return p;
}

// ArtRdm for port-address 291 carrying GET DEVICE_INFO from console 4D41:00000010 to
// `device`, transaction `tn`: sub-start code to checksum (the E1.20 sum of every byte from
// the start code 0xCC on).
inline std::vector<uint8_t> ArtRdmGetDeviceInfo(uint64_t device, uint8_t tn) {
  auto p =
      ArtNet({0x00, 0x83, 0x00, 0x0E, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x00, 0x23, 0x01, 0x18});
  for (int shift = 40; shift >= 0; shift -= 8) p.push_back(static_cast<uint8_t>(device >> shift));
  for (int v : {0x4D, 0x41, 0x00, 0x00, 0x00, 0x10, int{tn}, 0x01, 0x00, 0x00, 0x00, 0x20, 0x00,
                0x60, 0x00}) {
    p.push_back(static_cast<uint8_t>(v));
  }
  unsigned sum = 0xCC;
  for (size_t i = 24; i < p.size(); ++i) sum += p[i];
  p.push_back(static_cast<uint8_t>(sum >> 8));
  p.push_back(static_cast<uint8_t>(sum & 0xFF));
  return p;
}

// What tshark's dissectors read of `packets` sent from 127.0.0.1 to 127.0.0.2, both on `port`:
// a line a packet, the `fields` (named with spaces between) separated by '|'.
inline std::string TsharkFields(const std::vector<std::vector<uint8_t>>& packets, int port,
                                const std::string& fields, const std::string& options = "") {
  ScratchDir dir;
  std::string dump;  // one packet a line, each at offset 0, as text2pcap reads it
  for (const auto& p : packets) dump += "0000 " + common::HexBytes(p) + "\n";
  WriteBytes(dir / "dump.txt", dump);
  std::string command = "text2pcap -q -4 127.0.0.1,127.0.0.2 -u " + std::to_string(port) + "," +
                        std::to_string(port) + " '" + dir.path +
                        "/dump.txt' - 2>/dev/null | tshark -r - " + options +
                        " -T fields -E separator='|' -E occurrence=f";
  std::istringstream words(fields);
  for (std::string f; words >> f;) command += " -e " + f;
  std::string out;
  if (FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r")) {
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    pclose(pipe);
  }
  return out;
}

// Waits (at most 5 s) until `done`.
inline bool Eventually(const std::function<bool()>& done) {
  for (int i = 0; i < 500 && !done(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return done();
}

inline bool HaveTshark() {
  return std::system("command -v tshark >/dev/null 2>&1") == 0;
}

}  // namespace velquor::testsupport
