// devnames.lst, devnone.lst and UidList.ini as the device list reads them, any bytes (a list
// from a Chinese Windows install is GB18030): each UID is listed once, what stands for no
// device is kept aside, and the list saved again loses no entry.
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "FuzzFiles.h"
#include "common/Encoding.h"
#include "common/Log.h"
#include "workbench/DeviceTableService.h"

using namespace velquor;
using workbench::DeviceNameList;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string dir = fuzz::ScratchDir();
  fuzz::WriteScratch(fuzz::ScratchPath("devnames.lst"), bytes);
  fuzz::WriteScratch(fuzz::ScratchPath("UidList.ini"), bytes);

  common::LogSink log;
  workbench::ModelLock models;
  workbench::DeviceTableService service(log, models, dir, dir);
  service.BuildColumns();
  if (service.View().columns.size() != 11) __builtin_trap();
  service.Reload(true, {});

  const DeviceNameList file = DeviceNameList::Parse(common::DecodeTextFile(bytes));
  const workbench::DeviceTable& table = service.Table();
  if (table.Count() > workbench::MaxDevices) __builtin_trap();
  if (static_cast<size_t>(table.Count()) + table.Unlisted.size() != file.Count()) __builtin_trap();
  std::set<rdm::Uid> seen;
  for (const workbench::DeviceRecord& d : table.Devices) {
    if (!seen.insert(d.Uid).second || !workbench::KeyProblem(workbench::NameKey(d.Uid)).empty()) {
      __builtin_trap();
    }
    if (file.Value(workbench::NameKey(d.Uid)) != d.Label) __builtin_trap();
  }

  if (!service.Save()) __builtin_trap();
  const DeviceNameList saved = DeviceNameList::Parse(fuzz::ReadScratch(service.DevNamesPath()));
  if (saved.Count() != file.Count()) __builtin_trap();
  for (size_t k = 0; k < saved.Count(); ++k) {
    const bool device = k < static_cast<size_t>(table.Count());
    const DeviceNameList::Entry& want =
        device ? DeviceNameList::Entry{workbench::NameKey(table.Devices[k].Uid),
                                       workbench::LabelForFile(table.Devices[k].Label)}
               : table.Unlisted[k - static_cast<size_t>(table.Count())];
    if (saved.At(k).key != want.key || saved.At(k).value != want.value) __builtin_trap();
  }

  // Clear list: the list empties from devnone.lst, devnames.lst goes.
  fuzz::WriteScratch(service.DevNonePath(), bytes);
  if (!service.Clear() || service.Table().Count() != 0) __builtin_trap();
  fuzz::RemoveScratch(service.DevNonePath());
  fuzz::RemoveScratch(service.DevNamesPath());
  fuzz::RemoveScratch(fuzz::ScratchPath("UidList.ini"));
  return 0;
}
