#include "dmx/SceneDesk.h"

#include <fmt/format.h>

#include <algorithm>

#include "common/Files.h"
#include "common/Text.h"

namespace velquor::dmx {

SceneDesk::SceneDesk(OutputUniverse& universe, common::LogSink& log,
                     std::function<void()> stepShown)
    : universe_(universe), log_(log), stepShown_(std::move(stepShown)) {}

void SceneDesk::SetFaderOffset(int offset) {
  faderOffset_.store(std::clamp(offset, 0, static_cast<int>(kSlots) - kFaders));
}

uint8_t SceneDesk::FaderMoved(int k, int position) {
  const auto level = static_cast<uint8_t>(255 - std::clamp(position, 0, 255));
  universe_.Store(static_cast<size_t>(faderOffset_.load() + k), level);
  return level;
}

int SceneDesk::FaderPosition(int k) const {
  return 255 - universe_.At(static_cast<size_t>(faderOffset_.load() + k));
}

std::vector<SceneRow> SceneDesk::Rows() const {
  std::lock_guard lock(mutex_);
  return rows_;
}

void SceneDesk::Clear() {
  universe_.ClearSlots();
  std::lock_guard lock(mutex_);
  rows_.clear();  // the scenes themselves stay until a later Add reuses them
}

std::optional<uint32_t> SceneDesk::ReadTime(const std::string& text) {
  const bool digits = text.find_first_not_of("0123456789") == std::string::npos;
  const auto value = common::ParseUnsigned("0" + text);
  if (!digits || !value) {
    log_.Add("'" + text + "' is not a valid integer value");
    return std::nullopt;
  }
  // The scene file keeps 16 bits of milliseconds: a longer time would come back shorter.
  if (*value > 65535) {
    log_.Add(
        fmt::format("{} ms is too long: a scene's fade and hold are at most 65535 ms", *value));
    return std::nullopt;
  }
  return static_cast<uint32_t>(*value);
}

void SceneDesk::AppendRow(size_t index, const char* prefix) {
  rows_.push_back(
      {fmt::format("{}{}", prefix, index + 1), scenes_[index].fadeMs, scenes_[index].holdMs});
}

bool SceneDesk::Add(const std::string& fadeText, const std::string& holdText) {
  std::lock_guard lock(mutex_);
  if (rows_.size() >= kMaxScenes) {
    log_.Add(fmt::format("The scene list is full ({} scenes): delete one first", kMaxScenes));
    return false;
  }
  const size_t n = rows_.size();
  const OutputUniverse::Bytes now = universe_.Snapshot();
  std::copy_n(now.begin(), kSlots, scenes_[n].levels.begin());
  // As the desk always did: the scene is stored before its times are read.
  rows_.push_back({fmt::format("No.{}", n + 1), scenes_[n].fadeMs, scenes_[n].holdMs});
  const auto fade = ReadTime(fadeText);
  if (!fade) return false;
  scenes_[n].fadeMs = *fade;
  const auto hold = ReadTime(holdText);
  if (!hold) return false;
  scenes_[n].holdMs = *hold;
  rows_.back().fadeMs = *fade;
  rows_.back().holdMs = *hold;
  return true;
}

void SceneDesk::DeleteLast() {
  std::lock_guard lock(mutex_);
  if (!rows_.empty()) rows_.pop_back();
}

std::optional<std::pair<uint32_t, uint32_t>> SceneDesk::SelectScene(int index) {
  std::lock_guard lock(mutex_);
  selected_ = static_cast<uint8_t>(index);
  if (index < 0 || rows_.size() <= selected_) return std::nullopt;
  log_.Add(fmt::format("Selected No.:{}", selected_ + 1));
  const Scene& scene = scenes_[selected_];
  universe_.StoreBlock(0, scene.levels);
  return std::pair{scene.fadeMs, scene.holdMs};
}

bool SceneDesk::TimeChanged(const std::string& text, bool fade) {
  {
    std::lock_guard lock(mutex_);
    if (rows_.size() <= selected_) return false;
    const auto value = ReadTime(text);
    if (!value) return false;
    (fade ? scenes_[selected_].fadeMs : scenes_[selected_].holdMs) = *value;
  }
  RebuildSceneList();
  return true;
}

void SceneDesk::RebuildSceneList() {
  std::lock_guard lock(mutex_);
  const size_t n = rows_.size();
  rows_.clear();
  for (size_t k = 0; k < n; ++k) AppendRow(k, "Scene");
}

std::string SceneDesk::RunStop(const std::string& caption) {
  // The caption is the state, in either language.
  struct Turn {
    const char* from;
    const char* to;
    bool running;
  };
  static constexpr Turn kTurns[] = {{"Run", "Stop", true},
                                    {"Stop", "Run", false},
                                    {"运行", "停止", true},
                                    {"停止", "运行", false}};
  for (const Turn& t : kTurns) {
    if (caption == t.from) {
      running_.store(t.running);
      return t.to;
    }
  }
  return caption;
}

void SceneDesk::SceneStep() {
  bool show = false;
  {
    std::lock_guard lock(mutex_);
    const auto count = static_cast<uint8_t>(rows_.size());
    if (count == 0) return;
    auto next = [count](uint8_t c) { return static_cast<uint8_t>(c + 1 < count ? c + 1 : 0); };
    if (state_ == 0) {
      fadeTicks_ = 0;
      holdTicks_ = 0;
      state_ = 1;
      if (scenes_[current_].fadeMs == 0) scenes_[current_].fadeMs = 1;
    }
    if (state_ == 1) {
      const uint32_t elapsed = kTickMs * fadeTicks_;
      const Scene& from = scenes_[current_];
      const Scene& to = scenes_[next(current_)];
      if (elapsed > from.fadeMs) {
        fadeTicks_ = 0;
        state_ = 2;
        universe_.StoreBlock(0, to.levels);  // the target scene, exactly
      } else {
        const uint32_t f = from.fadeMs;
        const uint32_t r = f - elapsed;
        universe_.EditSlots([&](std::span<uint8_t, kSlots> out) {
          for (size_t i = 0; i < kSlots; ++i) {
            const uint32_t a = from.levels[i];
            const uint32_t b = to.levels[i];
            // Linear toward the target, rounding toward it; equal slots keep what they have.
            if (b < a) out[i] = static_cast<uint8_t>(b + (r * (a - b)) / f);
            if (b > a) out[i] = static_cast<uint8_t>(b - (r * (b - a)) / f);
          }
        });
        ++fadeTicks_;
      }
    } else if (state_ == 2) {
      ++holdTicks_;
      if (kTickMs * holdTicks_ > scenes_[current_].holdMs) state_ = 3;
    }
    if (state_ == 3) {
      current_ = next(current_);
      state_ = 0;
      stepView_.selectRow = current_;
      show = true;
      log_.Add(fmt::format("Running {}", current_ + 1));
    }
    const uint8_t old = refreshCounter_++;
    if (old > 0) {
      refreshCounter_ = 0;
      stepView_.refreshFaders = true;
      show = true;
    }
  }
  if (show && stepShown_) stepShown_();
}

SceneDesk::StepView SceneDesk::TakeStepView() {
  std::lock_guard lock(mutex_);
  StepView view = stepView_;
  stepView_ = {};
  return view;
}

void SceneDesk::Load(std::string_view file) {
  const size_t records = file.size() / kSceneRecordBytes;
  const size_t loaded = std::min(records, kMaxScenes);
  std::lock_guard lock(mutex_);
  rows_.clear();
  for (size_t k = 0; k < loaded; ++k) {
    const auto* record = reinterpret_cast<const uint8_t*>(file.data()) + k * kSceneRecordBytes;
    Scene& scene = scenes_[k];
    scene.fadeMs = static_cast<uint32_t>((record[2] << 8) | record[3]);
    scene.holdMs = static_cast<uint32_t>((record[4] << 8) | record[5]);
    std::copy_n(record + 6, kSlots, scene.levels.begin());
    rows_.push_back({fmt::format("No.{}", k + 1), scene.fadeMs, scene.holdMs});
  }
  if (records > loaded) {
    log_.Add(fmt::format("quendaris.show holds {} scenes; the list takes the first {}", records,
                         kMaxScenes));
  }
  if (const size_t rest = file.size() % kSceneRecordBytes; rest != 0) {
    log_.Add(
        fmt::format("quendaris.show ends in {} bytes that are not a whole scene: ignored", rest));
  }
}

bool SceneDesk::Save(const std::string& path) {
  std::string file;
  size_t rows = 0;
  {
    std::lock_guard lock(mutex_);
    rows = rows_.size();
    if (rows == 0) {
      log_.Add("No configuration parameters");
      return false;
    }
    file.reserve(rows * kSceneRecordBytes);
    for (size_t k = 0; k < rows; ++k) {
      const Scene& s = scenes_[k];
      const uint8_t head[6] = {static_cast<uint8_t>(k + 1),         0x1E,
                               static_cast<uint8_t>(s.fadeMs >> 8), static_cast<uint8_t>(s.fadeMs),
                               static_cast<uint8_t>(s.holdMs >> 8), static_cast<uint8_t>(s.holdMs)};
      file.append(reinterpret_cast<const char*>(head), sizeof head);
      file.append(reinterpret_cast<const char*>(s.levels.data()), kSlots);
    }
  }
  std::string error;
  if (!common::WriteFileAtomic(path, file, error)) {
    log_.Add("Unable to write " + path + ": " + error);  // the old file stays
    return false;
  }
  log_.Add(fmt::format("Configuration saved{}", 516 * rows));
  log_.Add(fmt::format("Configuration saved: {} scenes to {}", rows, path));
  return true;
}

}  // namespace velquor::dmx
