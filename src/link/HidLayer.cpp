#include "link/HidLayer.h"

#include <hidapi/hidapi.h>

#include <atomic>

namespace velquor::link {

namespace {
hid_device* device = nullptr;  // no path of the program opens one
std::atomic<bool> started{false};
}  // namespace

int HidProbe() {
  const bool ok = hid_init() == 0;
  started.store(ok);
  return ok ? 0 : -1;
}

void HidShutdown() {
  if (device) {
    hid_close(device);
    device = nullptr;
  }
  if (started.exchange(false)) hid_exit();
}

}  // namespace velquor::link
