// velquor-cli scenes: the desk's scene file, played headless on the engine tick.

#include <fmt/format.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <ostream>
#include <thread>

#include "cli/CliSession.h"
#include "common/Files.h"

namespace velquor::cli {

using nlohmann::json;

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
  desk.Load(path);
  const std::vector<dmx::SceneRow> rows = desk.Rows();
  if (action == "list") {
    if (session.Json()) {
      json scenes = json::array();
      for (const auto& r : rows) {
        scenes.push_back({{"scene", r.caption}, {"fadeMs", r.fadeMs}, {"holdMs", r.holdMs}});
      }
      out << json{{"scenes", scenes}}.dump(2) << "\n";
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
  tick.View().page = dmx::Page::Dmx;
  desk.RunStop("Run");
  tick.View().sceneRunning = true;
  const uint64_t ticks = seconds ? static_cast<uint64_t>(*seconds * 1000 / dmx::kTickPeriodMs) : 0;
  tick.CreateTimer();
  while (!interrupted.load() && (!seconds || tick.Ticks() < ticks)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));  // only watches the tick
  }
  tick.DestroyTimer();
  desk.RunStop("Stop");
  out << fmt::format("{} scenes played for {} ticks.\n", rows.size(), tick.Ticks());
  return kExitOk;
}

}  // namespace velquor::cli
