#pragma once
// The workbench over the virtual line on a manual clock, in a directory of its own.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "RdmHarness.h"
#include "TempDir.h"
#include "common/Files.h"
#include "rdm/Decoders.h"
#include "rdm/KnownPids.h"
#include "workbench/Workbench.h"

namespace velquor::testsupport {

// Text files are read and written byte for byte, as a test wrote them.
inline std::string ReadText(const std::string& path) {
  return ReadBytes(path);
}
inline void WriteText(const std::string& path, const std::string& text) {
  WriteBytes(path, text);
}

// A listed device with only these values, as a test puts it into the list.
inline workbench::DeviceRecord DeviceOf(rdm::Uid uid, uint16_t footprint = 0,
                                        std::string manufacturer = {}) {
  workbench::DeviceRecord d;
  d.Uid = uid;
  d.Footprint = footprint;
  d.ManufacturerLabel = std::move(manufacturer);
  return d;
}

inline virtualline::Rig MakeRig(int n) {
  return virtualline::GenerateRig(n);
}

struct WorkbenchHarness {
  using HookSetter = std::function<void(workbench::WorkbenchHooks&)>;
  // `extraHooks` adds hooks of a test's own to the ones every test has.
  explicit WorkbenchHarness(virtualline::Rig rig = virtualline::DefaultRig(),
                            HookSetter extraHooks = {})
      : rdm(std::move(rig)),
        dir(MakeTempDir()),
        extra(std::move(extraHooks)),
        bench(rdm.engine, rdm.log, rdm.clock, dir, dir, hooks()) {}
  ~WorkbenchHarness() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }

  workbench::WorkbenchHooks hooks() {
    workbench::WorkbenchHooks h;
    h.discoveryProgress = [this](const workbench::DiscoveryStatus& status) {
      if (onProgress) onProgress(status);
    };
    if (extra) extra(h);
    return h;
  }
  std::string Path(const std::string& name) const { return dir + "/" + name; }
  std::vector<uint64_t> TableUids() const {
    std::vector<uint64_t> uids;
    for (const workbench::DeviceRecord& d : bench.Table().Devices) uids.push_back(d.Uid.Value());
    return uids;
  }

  RdmHarness<> rdm;
  std::string dir;
  HookSetter extra;
  // Called after every exchange of a discovery, on the thread that runs it.
  std::function<void(const workbench::DiscoveryStatus&)> onProgress;
  workbench::Workbench bench;
};

}  // namespace velquor::testsupport
