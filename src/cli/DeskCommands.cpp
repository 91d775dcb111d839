// velquor-cli scenes, show and artnet: the desk's scenes, the show recorder and player and
// the Art-Net node, headless on the engine tick.

#include <fmt/format.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <ostream>
#include <thread>

#include "cli/CliSession.h"
#include "cli/Commands.h"
#include "common/Files.h"
#include "net/HostInterfaces.h"

namespace velquor::cli {

using nlohmann::json;

namespace {

// Runs the engine tick until `done` says so, `seconds` of ticks have passed, or Ctrl+C; this
// thread only watches it.
void RunTickUntil(dmx::EngineTick& tick, const std::atomic<bool>& interrupted,
                  std::optional<double> seconds, const std::function<bool()>& done = {}) {
  const uint64_t start = tick.Ticks();
  const uint64_t ticks = seconds ? TicksOf(*seconds) : 0;
  tick.CreateTimer();
  while (!interrupted.load() && !(seconds && tick.Ticks() - start >= ticks) && !(done && done())) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  tick.DestroyTimer();
}

// The index of `address` among the host's addresses; -1, said on `err`, when it is none of them.
int HostAddressIndex(const std::string& address, std::ostream& err) {
  const auto wanted = net::ParseIpv4(address);
  const std::vector<net::HostAddress> addresses = net::ListHostAddresses();
  std::string known;
  for (size_t i = 0; i < addresses.size(); ++i) {
    if (wanted && addresses[i].address == *wanted) return static_cast<int>(i);
    known += (known.empty() ? "" : ", ") + net::Ipv4Text(addresses[i].address);
  }
  err << address << " is not an IPv4 address of this computer (its addresses: "
      << (known.empty() ? "none" : known) << ")\n";
  return -1;
}

}  // namespace

int RunScenes(CliSession& session, const std::string& action, std::optional<double> seconds,
              const std::atomic<bool>& interrupted, std::ostream& out, std::ostream& err) {
  core::Core& core = session.Core();
  dmx::SceneDesk& desk = core.Desk();
  if (action == "stop") {
    core.Universe().ClearSlots();
    core.Tick().SendDmxFrame();
    out << "All 512 slots at 0 sent.\n";
    return kExitOk;
  }
  const std::string path = common::PathIn(core.Options().workDir, "quendaris.show");
  if (common::PathExists(path)) {
    std::string error;
    const auto bytes = common::ReadWholeFile(path, error);
    if (!bytes) {
      err << "Fail to Open File!!! " << path << ": " << error << "\n";
      return kExitFileError;
    }
    desk.Load(*bytes);
  }
  const std::vector<dmx::SceneRow> rows = desk.Rows();
  if (action == "list") {
    if (session.Json()) {
      json scenes = json::array();
      for (const auto& r : rows) {
        scenes.push_back({{"scene", r.caption}, {"fadeMs", r.fadeMs}, {"holdMs", r.holdMs}});
      }
      out << JsonText(json{{"scenes", scenes}}) << "\n";
    } else {
      for (const auto& r : rows) {
        out << fmt::format("{:<8} fade {:>5} ms  hold {:>5} ms\n", r.caption, r.fadeMs, r.holdMs);
      }
    }
    return kExitOk;
  }
  if (rows.empty()) {
    err << "No scenes in " << path << "\n";
    return kExitUsage;
  }
  // The desk on the engine tick, as on the DMX page: one step and one frame every 40 ms.
  dmx::EngineTick& tick = core.Tick();
  tick.View().mode = dmx::OutputMode::Desk;
  desk.RunStop("Run");
  tick.View().sceneRunning = true;
  const uint64_t start = tick.Ticks();
  RunTickUntil(tick, interrupted, seconds);
  desk.RunStop("Stop");
  tick.View().sceneRunning = false;
  out << fmt::format("{} scenes played for {} ticks.\n", rows.size(), tick.Ticks() - start);
  return kExitOk;
}

int RunShow(CliSession& session, const ShowCommand& c, const std::atomic<bool>& interrupted,
            std::ostream& out, std::ostream& err) {
  core::Core& core = session.Core();
  std::string name = c.file;
  if (name.find(".dmx") == std::string::npos) name += ".dmx";
  // A bare name is a show of the shows folder; a path is taken as typed.
  const std::string path =
      name.find('/') == std::string::npos ? common::PathIn(core.Options().showDir, name) : name;
  dmx::EngineTick& tick = core.Tick();
  if (c.action == "record") {
    if (!c.force && common::PathExists(path)) {
      err << path << " exists: add --force to record over it\n";
      return kExitUsage;
    }
    if (!core.Recorder().Start(path)) {
      err << "Unable to write " << path << "\n";
      return kExitFileError;
    }
    // As the Art-Net page records in "DMX512 To Art-Net": the box's input, a frame a tick.
    tick.View().mode = dmx::OutputMode::ArtNet;
    tick.View().artNetDirection = 1;
    tick.View().showRunning = true;
    RunTickUntil(tick, interrupted, c.seconds,
                 [&core] { return core.Recorder().Failure().has_value(); });
    core.Recorder().Flush();
    const auto lost = core.Recorder().Stop();
    if (const auto failure = core.Recorder().Failure()) {
      err << *failure << "\n";
      return kExitFileError;
    }
    if (lost) {  // the file is whole, but not every frame asked for is in it
      err << *lost << "\n";
      return kExitFileError;
    }
    out << fmt::format("{}: {} frames\n", path,
                       std::filesystem::file_size(path) / dmx::kShowFrameBytes);
    return kExitOk;
  }
  if (!common::FileExists(path)) {
    err << "No show " << path << "\n";
    return kExitUsage;
  }
  const auto frames = core.Player().Select(path);
  if (!frames || *frames < 2) {
    err << path << " has fewer than two whole frames\n";
    return kExitUsage;
  }
  if (c.action == "copy") {
    if (c.to <= c.from) {
      err << "Nothing to copy: --to " << c.to << " must be past --from " << c.from << "\n";
      return kExitUsage;
    }
    const std::string target = common::PathIn(
        core.Options().showDir, "S_" + std::filesystem::path(path).filename().string());
    if (!c.force && common::PathExists(target)) {
      err << target << " exists: add --force to replace it\n";
      return kExitUsage;
    }
    if (!dmx::CopyShowRange(path, target, c.from, c.to, core.Log())) {
      err << "Unable to copy " << path << " to " << target << "\n";
      return kExitFileError;
    }
    out << target << ": " << std::filesystem::file_size(target) / dmx::kShowFrameBytes
        << " frames\n";
    return kExitOk;
  }
  // Playback goes out with the DMX frames the tick sends on the DMX page.
  tick.View().mode = dmx::OutputMode::Desk;
  tick.View().showRunning = true;
  tick.View().playbackActive = true;
  int last = 0;
  bool wrapped = false;
  RunTickUntil(tick, interrupted, c.seconds, [&] {
    const int position = core.Player().Position();
    if (position < last) wrapped = true;  // the player began again at frame 0
    last = position;
    return !c.loop && wrapped;
  });
  tick.View().playbackActive = false;
  if (wrapped && !c.loop) {
    out << fmt::format("{}: played through ({} frames; the last one closes the loop)\n", path,
                       *frames - 1);
  } else {
    out << fmt::format("{}: stopped at frame {}\n", path, core.Player().Position());
  }
  return kExitOk;
}

int RunArtNet(CliSession& session, const ArtNetCommand& c, const std::atomic<bool>& interrupted,
              std::ostream& out, std::ostream& err) {
  core::Core& core = session.Core();
  net::ArtNetBridge& bridge = core.Bridge();
  const int index = HostAddressIndex(c.address, err);
  if (index < 0) return kExitNetwork;
  // The consoles' table requests list the devices of devnames.lst, as the window does.
  workbench::Workbench& bench = session.Bench();
  if (common::FileExists(bench.Devices().DevNamesPath())) {
    session.Run([&] { bench.Devices().Reload(true, nullptr); });
  }
  bridge.SetNodeName("VELQUOR PRO velquor-cli");
  bridge.SetPortAddress(c.universe);
  // The node takes what it is for from its first datagram on: the view is set before it
  // listens.
  dmx::EngineTick& tick = core.Tick();
  tick.View().mode = dmx::OutputMode::ArtNet;
  tick.View().artNetDirection = c.direction == "out" ? 1 : 0;
  const size_t linesBefore = core.Log().Count();
  if (!bridge.NetInit(index) || !bridge.StartReceiving()) {
    // The reason is the last line the node logged (printed above unless -q or --json).
    const std::vector<std::string> lines = core.Log().Lines();
    err << "The Art-Net node cannot listen on port " << core.Options().artNet.port << " of "
        << c.address << (lines.size() > linesBefore ? ": " + lines.back() : std::string()) << "\n";
    return kExitNetwork;
  }
  if (bridge.PortShared()) {
    err << "Warning: another program has UDP port " << core.Options().artNet.port << " on "
        << c.address << ": datagrams sent to this address may reach it instead\n";
  }
  if (!session.Json()) {
    out << fmt::format(
        "Art-Net node on {}:{}, port-address {} (Net {}, Sub-Net {}, Universe {}), {}; "
        "{} devices listed; RDM relayed. Ctrl+C ends.\n",
        c.address, core.Options().artNet.port, c.universe, c.universe >> 8,
        (c.universe >> 4) & 0x0F, c.universe & 0x0F,
        c.direction == "out" ? "DMX512 To Art-Net" : "Art-Net To DMX512", bench.Table().Count());
    out.flush();
  }
  RunTickUntil(tick, interrupted, c.seconds);
  bridge.StopReceiving();
  core.Bench().Executor().WaitUntilIdle();  // relays in hand are answered before the summary
  const net::BridgeCounters& n = bridge.Counters();
  if (session.Json()) {
    out << JsonText(json{{"address", c.address},
                         {"portAddress", c.universe},
                         {"direction", c.direction},
                         {"received", n.received.load()},
                         {"dmxTaken", n.dmxTaken.load()},
                         {"dropped", n.dropped.load()},
                         {"rdmRelayed", n.relayed.load()},
                         {"rdmAnswered", n.rdmAnswered.load()},
                         {"sent", n.sent.load()},
                         {"portShared", bridge.PortShared()}})
        << "\n";
  } else {
    out << fmt::format(
        "{} datagrams received, {} ArtDmx taken, {} dropped; {} RDM requests relayed, {} "
        "answered; {} datagrams sent.\n",
        n.received.load(), n.dmxTaken.load(), n.dropped.load(), n.relayed.load(),
        n.rdmAnswered.load(), n.sent.load());
  }
  return kExitOk;
}

int RunSacn(CliSession& session, const SacnCommand& c, const std::atomic<bool>& interrupted,
            std::ostream& out, std::ostream& err) {
  core::Core& core = session.Core();
  if (c.universe < net::kSacnMinUniverse || c.universe > net::kSacnMaxUniverse) {
    err << "The sACN universe is 1 to 63999, not " << c.universe << "\n";
    return kExitUsage;
  }
  if (c.priority < 0 || c.priority > net::kSacnMaxPriority) {
    err << "The sACN priority is 0 to 200, not " << c.priority << "\n";
    return kExitUsage;
  }
  const int index = HostAddressIndex(c.address, err);
  if (index < 0) return kExitNetwork;
  net::SacnNode& node = core.Sacn();
  node.SetCid(core.LoadOrMakeSacnCid());
  node.SetSourceName("VELQUOR PRO velquor-cli");
  node.SetUniverse(c.universe);
  node.SetPriority(c.priority);
  const uint16_t port = core.Options().sacn.port;
  const size_t linesBefore = core.Log().Count();
  if (!node.Open(net::ListHostAddresses()[static_cast<size_t>(index)])) {
    const std::vector<std::string> lines = core.Log().Lines();
    err << "The sACN node cannot listen on port " << port << " of " << c.address
        << (lines.size() > linesBefore ? ": " + lines.back() : std::string()) << "\n";
    return kExitNetwork;
  }
  if (node.PortShared()) {
    err << "Warning: another program has UDP port " << port << " on " << c.address
        << ": sACN sent to this address may reach it instead\n";
  }
  const bool sending = c.direction == "out";
  dmx::EngineTick& tick = core.Tick();
  tick.View().mode = dmx::OutputMode::ArtNet;
  tick.View().artNetDirection = sending ? 1 : 0;
  tick.View().networkProtocol = dmx::NetworkProtocol::Sacn;
  node.SetDirection(sending ? net::SacnDirection::Out : net::SacnDirection::In);
  if (!session.Json()) {
    out << fmt::format(
        "sACN node on {}:{}, universe {} (group {}), {}; CID {}. Ctrl+C ends.\n", c.address, port,
        c.universe, net::Ipv4Text(net::SacnGroup(c.universe)),
        sending ? fmt::format("DMX512 To sACN at priority {}", c.priority) : "sACN To DMX512",
        net::CidText(node.OwnCid()));
    out.flush();
  }
  RunTickUntil(tick, interrupted, c.seconds);
  node.SetDirection(net::SacnDirection::Off);  // a source ends its stream
  const net::SacnCounters& n = node.Counters();
  if (session.Json()) {
    out << JsonText(json{{"address", c.address},
                         {"universe", c.universe},
                         {"direction", c.direction},
                         {"priority", c.priority},
                         {"cid", net::CidText(node.OwnCid())},
                         {"received", n.received.load()},
                         {"taken", n.taken.load()},
                         {"dropped", n.dropped.load()},
                         {"late", n.late.load()},
                         {"sent", n.sent.load()},
                         {"portShared", node.PortShared()}})
        << "\n";
  } else {
    out << fmt::format(
        "{} datagrams received, {} data packets taken, {} dropped, {} out of sequence; {} "
        "packets sent.\n",
        n.received.load(), n.taken.load(), n.dropped.load(), n.late.load(), n.sent.load());
  }
  return kExitOk;
}

}  // namespace velquor::cli
