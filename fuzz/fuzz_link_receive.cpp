// Frames from the box: any code, key, length or error code, in any order, polled into
// the response image.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "common/Clock.h"
#include "common/Log.h"
#include "link/UsbLink.h"

namespace {

using namespace velquor;

class ScriptedTransport : public link::LinkTransport {
 public:
  ScriptedTransport(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool Open(const link::OpenContext&) override { return true; }
  void Close() override {}
  int InterruptOut(const link::LinkFrame&) override { return Take() % 5 == 0 ? -7 : 0; }
  int GetReport(link::LinkFrame& frame) override {
    uint8_t kind = Take();
    for (auto& b : frame) b = Take();
    if (kind % 7 == 0) return -9;
    if (kind % 11 == 0) return -(kind % 12);
    if (kind % 13 == 0) return kind % 33;  // short frame
    return 33;
  }
  void ClearHalt() override {}
  std::string ErrorText(int code) const override { return "error " + std::to_string(code); }

 private:
  uint8_t Take() { return pos_ < size_ ? data_[pos_++] : 0; }
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  common::LogSink log;
  common::ManualClock clock;
  ScriptedTransport transport(data, size);
  link::UsbLink link(transport, log, clock);
  link.LinkOpen();
  std::array<uint8_t, 1060> response;
  response.fill(0xFF);
  link.SetResponseTimeout(90);
  uint16_t n = link.LinkReceive(response);
  if (n % 31 != 0) __builtin_trap();  // whole frames only
  std::array<uint8_t, 527> universe{};
  for (int i = 0; i < 17; ++i) {
    link.LinkPollInput([&](size_t offset, std::span<const uint8_t, 31> bytes) {
      if (offset + bytes.size() > universe.size()) __builtin_trap();
      std::copy(bytes.begin(), bytes.end(), universe.begin() + static_cast<ptrdiff_t>(offset));
    });
  }
  std::array<uint8_t, 93> message{};
  std::memcpy(message.data(), data, std::min(size, message.size()));
  link.LinkSend(link::LINK_MODE_DMX, message);
  return 0;
}
