#pragma once
// The DMX page's small desk: twelve faders over a window of the universe, and a list of
// scenes (all 512 levels with a fade and a hold time) that plays as an endless sequence,
// one step per engine tick. The page's handlers run on the UI thread, `SceneStep` on the
// tick's; they share the scenes under the desk's lock and never wait for the RDM line.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Log.h"
#include "dmx/OutputUniverse.h"

namespace velquor::dmx {

constexpr int kFaders = 12;
// Scenes the list holds: the runner counts them in 8 bits, so a full 256 would read as none.
constexpr size_t kMaxScenes = 255;
constexpr size_t kSceneRecordBytes = 518;
constexpr uint32_t kTickMs = 40;

struct Scene {
  std::array<uint8_t, kSlots> levels{};
  uint32_t fadeMs = 0;
  uint32_t holdMs = 0;
};

// One row of the scene list (ListView1): "No.3" after Add or a load, "Scene3" when rebuilt.
struct SceneRow {
  std::string caption;
  uint32_t fadeMs = 0;
  uint32_t holdMs = 0;
};

class SceneDesk {
 public:
  // `stepShown` is called on the tick's thread when a step wants the page refreshed (the
  // faders every second step, a row selected when the sequence advances).
  SceneDesk(OutputUniverse& universe, common::LogSink& log, std::function<void()> stepShown = {});

  // ---- Faders ----
  int FaderOffset() const { return faderOffset_.load(); }  // ScrollBarDMX
  void SetFaderOffset(int offset);
  // Fader k (0..11) moved to `position` (top 0 = full): its slot's level, which is returned.
  uint8_t FaderMoved(int k, int position);
  // The position fader k shows for its slot's level now.
  int FaderPosition(int k) const;

  // ---- Scenes ----
  std::vector<SceneRow> Rows() const;
  void Clear();                                                        // SpeedButton11
  bool Add(const std::string& fadeText, const std::string& holdText);  // SpeedButton_Add
  void DeleteLast();                                                   // SpeedButton_Delete
  // ListView1 click or key: the scene goes live; its fade and hold for the combos.
  std::optional<std::pair<uint32_t, uint32_t>> SelectScene(int index);
  // ComboBox_Fade / ComboBox_Hold changed: the selected scene takes the time typed.
  bool FadeChanged(const std::string& text) { return TimeChanged(text, true); }
  bool HoldChanged(const std::string& text) { return TimeChanged(text, false); }
  void RebuildSceneList();

  // ---- The sequence ----
  // SpeedButton18: "Run" <-> "Stop", "运行" <-> "停止"; the caption to show next.
  std::string RunStop(const std::string& caption);
  bool Running() const { return running_.load(); }
  // One engine tick of the sequence (tick thread).
  void SceneStep();
  // What the last steps asked of the page: a row to select, and whether the faders follow.
  struct StepView {
    std::optional<int> selectRow;
    bool refreshFaders = false;
  };
  StepView TakeStepView();

  // ---- The scene file (quendaris.show) ----
  // The scenes of the file's bytes (as start-up read them): whole records only.
  void Load(std::string_view file);
  bool Save(const std::string& path);  // SpeedButton_Show

 private:
  std::optional<uint32_t> ReadTime(const std::string& text);
  bool TimeChanged(const std::string& text, bool fade);
  void AppendRow(size_t index, const char* prefix);

  OutputUniverse& universe_;
  common::LogSink& log_;
  std::function<void()> stepShown_;
  std::atomic<int> faderOffset_{0};

  mutable std::mutex mutex_;  // scenes, rows, runner state
  std::vector<Scene> scenes_ = std::vector<Scene>(kMaxScenes);
  std::vector<SceneRow> rows_;
  uint8_t selected_ = 255;  // the row last clicked; none reads 255

  std::atomic<bool> running_{false};
  uint8_t state_ = 0;  // 0 start, 1 fade, 2 hold, 3 advance
  uint8_t current_ = 0;
  uint32_t fadeTicks_ = 0;
  uint32_t holdTicks_ = 0;
  uint8_t refreshCounter_ = 0;
  StepView stepView_;
};

}  // namespace velquor::dmx
