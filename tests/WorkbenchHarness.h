#pragma once
// The workbench over the virtual line on a manual clock, in a directory of its own.

#include <gtest/gtest.h>

#include "RdmHarness.h"
#include "TempDir.h"
#include "common/Files.h"
#include "rdm/Decoders.h"
#include "rdm/KnownPids.h"
#include "workbench/Workbench.h"

namespace velquor::testsupport {

constexpr rdm::Uid kSpot3{0x7FF000000103ULL};

// The default rig's first three spots, as devnames.lst lists them after a discovery.
inline constexpr const char* kThreeSpots =
    "7FF000000101=Spot 1\r\n7FF000000102=Spot 2\r\n7FF000000103=Spot 3\r\n";

// A listed device with only these values, as a test puts it into the list.
inline workbench::DeviceRecord DeviceOf(rdm::Uid uid, uint16_t footprint = 0,
                                        std::string manufacturer = {}) {
  workbench::DeviceRecord d;
  d.Uid = uid;
  d.Footprint = footprint;
  d.ManufacturerLabel = std::move(manufacturer);
  return d;
}

// The default rig's fixture `index` alone, changed as a test needs.
inline virtualline::Rig OneFixtureRig(
    size_t index, const std::function<void(virtualline::Fixture&)>& change = {}) {
  virtualline::Rig rig;
  rig.fixtures.push_back(virtualline::DefaultRig().fixtures[index]);
  if (change) change(rig.fixtures[0]);
  return rig;
}

struct WorkbenchHarness {
  explicit WorkbenchHarness(virtualline::Rig rig = virtualline::DefaultRig())
      : rdm(std::move(rig)),
        bench(rdm.engine, rdm.log, rdm.clock, dir.path, dir.path,
              {{}, [this](const workbench::DiscoveryStatus& s) {
                 if (onProgress) onProgress(s);
               }}) {}

  std::string Path(const std::string& name) const { return dir / name; }
  // devnames.lst as `text`, loaded as at start-up (`requery`: each device asked).
  void LoadList(const std::string& text, bool requery = false) {
    WriteBytes(Path("devnames.lst"), text);
    bench.List().LoadDeviceTable(requery);
  }
  std::string ListFile() const { return ReadBytes(Path("devnames.lst")); }
  // The cells `columns` of the list's row `row`, as the window shows them.
  std::vector<std::string> Cells(size_t row, std::initializer_list<size_t> columns) const {
    const auto view = bench.View();
    std::vector<std::string> cells;
    for (size_t c : columns) cells.push_back(view.rows.at(row).at(c));
    return cells;
  }
  std::vector<uint64_t> TableUids() const {
    std::vector<uint64_t> uids;
    for (const workbench::DeviceRecord& d : bench.Table().Devices) uids.push_back(d.Uid.Value());
    return uids;
  }

  RdmHarness<> rdm;
  ScratchDir dir;
  // Called after every exchange of a discovery, on the thread that runs it.
  std::function<void(const workbench::DiscoveryStatus&)> onProgress;
  workbench::Workbench bench;
};

}  // namespace velquor::testsupport
