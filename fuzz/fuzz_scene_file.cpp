// quendaris.show as start-up reads it: whole scenes only, at most 255, the rest logged; saved
// again it gives back the scenes it took, byte for byte past their numbers.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzFiles.h"
#include "common/Log.h"
#include "dmx/SceneDesk.h"

using namespace velquor;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view file(reinterpret_cast<const char*>(data), size);
  common::LogSink log;
  dmx::OutputUniverse universe;
  dmx::SceneDesk desk(universe, log);
  desk.Load(file);
  const size_t whole = std::min(size / dmx::kSceneRecordBytes, dmx::kMaxScenes);
  const auto rows = desk.Rows();
  if (rows.size() != whole) __builtin_trap();
  if (size % dmx::kSceneRecordBytes != 0 && log.Count() == 0) __builtin_trap();
  if (whole == 0) return 0;

  // Every scene goes live as it was stored.
  const size_t pick = data[0] % whole;
  if (!desk.SelectScene(static_cast<int>(pick))) __builtin_trap();
  const uint8_t* record = data + pick * dmx::kSceneRecordBytes;
  for (size_t slot = 0; slot < dmx::kSlots; ++slot) {
    if (universe.At(slot) != record[6 + slot]) __builtin_trap();
  }

  const std::string path = fuzz::ScratchPath("quendaris.show");
  if (!desk.Save(path)) __builtin_trap();
  const std::string saved = fuzz::ReadScratch(path);
  fuzz::RemoveScratch(path);
  if (saved.size() != whole * dmx::kSceneRecordBytes) __builtin_trap();
  for (size_t k = 0; k < whole; ++k) {
    const size_t at = k * dmx::kSceneRecordBytes;
    if (saved.compare(at + 2, dmx::kSceneRecordBytes - 2, file, at + 2,
                      dmx::kSceneRecordBytes - 2) != 0) {
      __builtin_trap();
    }
  }
  // The sequence runs over what was loaded (its counters are eight bits wide). A fade of 0
  // becomes 1 ms when it first runs, so this comes after the save.
  desk.RunStop("Run");
  for (int tick = 0; tick < 8; ++tick) desk.SceneStep();
  desk.RunStop("Stop");
  return 0;
}
