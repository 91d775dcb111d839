// A .dmx show as the Art-Net page plays and copies it: any length, any checksum. Playing puts
// whole frames out as they are; a copy holds exactly the frames it names.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzFiles.h"
#include "common/Log.h"
#include "dmx/ShowRecorder.h"

using namespace velquor;

namespace {

constexpr size_t kFrame = dmx::kShowFrameBytes;

// `copy` is frames first .. first + n - 1 of `show`, whole.
bool HoldsFrames(const std::string& copy, std::string_view show, size_t first, size_t n) {
  return copy.size() == n * kFrame && show.compare(first * kFrame, n * kFrame, copy) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view show(reinterpret_cast<const char*>(data), size);
  const std::string source = fuzz::ScratchPath("Live.dmx");
  const std::string target = fuzz::ScratchPath("S_Live.dmx");
  fuzz::WriteScratch(source, show);
  const int frames = static_cast<int>(size / kFrame);

  common::LogSink log;
  dmx::OutputUniverse universe;
  {
    dmx::ShowPlayer player(universe, log);
    const auto selected = player.Select(source);
    if (!selected || *selected != frames) __builtin_trap();
    for (int step = 0; step < std::min(frames + 2, 12); ++step) {
      const int at = player.Position();
      player.PlaybackStep();
      if (frames == 0) continue;
      // The frame played is the one at the position, or the first again at the end.
      const size_t played = player.Position() == at + 1 ? static_cast<size_t>(at) : 0;
      for (size_t slot = 0; slot < dmx::kSlots; ++slot) {
        if (universe.At(slot) != data[played * kFrame + 6 + slot]) __builtin_trap();
      }
    }
  }

  const int first = size == 0 ? 0 : data[0] % 5 - 1;
  const int end = size < 2 ? 1 : first + data[1] % 7;
  if (dmx::CopyShowRange(source, target, first, end, log)) {
    const int from = std::clamp(first, 0, frames);
    const int to = std::clamp(end, 0, frames);
    if (to <= from) __builtin_trap();
    if (!HoldsFrames(fuzz::ReadScratch(target), show, static_cast<size_t>(from),
                     static_cast<size_t>(to - from))) {
      __builtin_trap();
    }
  } else if (std::clamp(end, 0, frames) > std::clamp(first, 0, frames)) {
    __builtin_trap();
  }
  fuzz::RemoveScratch(target);

  if (!dmx::CopyShowLoop(source, target, log)) __builtin_trap();
  const std::string loop = fuzz::ReadScratch(target);
  if (loop.size() % kFrame != 0 || !HoldsFrames(loop, show, 0, loop.size() / kFrame)) {
    __builtin_trap();
  }
  fuzz::RemoveScratch(target);
  fuzz::RemoveScratch(source);
  return 0;
}
