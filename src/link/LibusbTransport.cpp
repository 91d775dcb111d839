#include "link/LibusbTransport.h"

#include <fmt/format.h>
#include <libusb.h>

namespace velquor::link {

namespace {

class RealLibusbApi final : public LibusbApi {
 public:
  ~RealLibusbApi() override {
    if (handle_) libusb_close(handle_);
  }
  int Init() override { return libusb_init(nullptr); }
  void Exit() override { libusb_exit(nullptr); }

  int Open(uint16_t vendorId, uint16_t productId) override {
    // Walk the list ourselves instead of libusb_open_device_with_vid_pid, so a box that is
    // present but cannot be opened (permissions, busy) reports why.
    libusb_device** list = nullptr;
    ssize_t n = libusb_get_device_list(nullptr, &list);
    if (n < 0) return static_cast<int>(n);
    int rc = LIBUSB_ERROR_NOT_FOUND;
    for (ssize_t i = 0; i < n; ++i) {
      libusb_device_descriptor desc{};
      if (libusb_get_device_descriptor(list[i], &desc) != 0) continue;
      if (desc.idVendor != vendorId || desc.idProduct != productId) continue;
      rc = libusb_open(list[i], &handle_);
      break;
    }
    libusb_free_device_list(list, 1);
    return rc;
  }

  void CloseHandle() override {
    if (handle_) libusb_close(handle_);
    handle_ = nullptr;
  }
  int ResetDevice() override { return libusb_reset_device(handle_); }

  int InterfaceCount() override {
    libusb_config_descriptor* config = nullptr;
    int rc = libusb_get_config_descriptor(libusb_get_device(handle_), 0, &config);
    if (rc != 0) return rc;
    int count = config->bNumInterfaces;
    libusb_free_config_descriptor(config);
    return count;
  }
  int SetAutoDetachKernelDriver(bool enable) override {
    return libusb_set_auto_detach_kernel_driver(handle_, enable ? 1 : 0);
  }
  int KernelDriverActive(int interfaceNumber) override {
    return libusb_kernel_driver_active(handle_, interfaceNumber);
  }
  int ClaimInterface(int interfaceNumber) override {
    return libusb_claim_interface(handle_, interfaceNumber);
  }
  int InterruptTransfer(uint8_t endpoint, uint8_t* data, int length, int* transferred,
                        unsigned timeoutMs) override {
    return libusb_interrupt_transfer(handle_, endpoint, data, length, transferred, timeoutMs);
  }
  int ControlTransfer(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index,
                      uint8_t* data, uint16_t length, unsigned timeoutMs) override {
    return libusb_control_transfer(handle_, requestType, request, value, index, data, length,
                                   timeoutMs);
  }
  int ClearHalt(uint8_t endpoint) override { return libusb_clear_halt(handle_, endpoint); }
  std::string ErrorText(int code) const override {
    return libusb_strerror(static_cast<libusb_error>(code));
  }

 private:
  libusb_device_handle* handle_ = nullptr;
};

}  // namespace

std::unique_ptr<LibusbApi> MakeLibusbApi() {
  return std::make_unique<RealLibusbApi>();
}

LibusbTransport::LibusbTransport(std::unique_ptr<LibusbApi> api) : api_(std::move(api)) {}

namespace {
BoxState StateOfOpenError(int code) {
  switch (code) {
    case kUsbErrorAccess:
      return BoxState::NoPermission;
    case kUsbErrorBusy:
      return BoxState::Busy;
    case kUsbErrorNotFound:
      return BoxState::NotFound;
    default:
      return BoxState::Failed;
  }
}
}  // namespace

std::string LibusbTransport::OpenFailureText(int code) const {
  if (code == kUsbErrorAccess) {
    return "The interface box (04b4:0f1f) is attached but this user may not open it: the udev "
           "rule 60-velquor.rules (installed with the package; from a build, copy "
           "resources/60-velquor.rules into /etc/udev/rules.d/ and run 'sudo udevadm control "
           "--reload') takes effect when the box is unplugged and plugged in again.";
  }
  if (code == kUsbErrorBusy) {
    return "The interface box (04b4:0f1f) is attached but busy: close the other program that "
           "holds it, then try again.";
  }
  if (code == kUsbErrorNotFound) return {};
  return fmt::format("The interface box (04b4:0f1f) could not be opened: {}",
                     api_->ErrorText(code));
}

void LibusbTransport::ReportOpenFailure(common::LogSink& log, int code) {
  lastOpen_ = StateOfOpenError(code);
  openFailure_ = OpenFailureText(code);
  // Reopening is tried on every RDM frame while closed: say it once, not every time.
  if (code == lastReportedOpenError_) return;
  lastReportedOpenError_ = code;
  if (!openFailure_.empty()) log.Add(openFailure_);
}

bool LibusbTransport::Open(const OpenContext& ctx) {
  ctx.clock.SleepFor(common::FromMs(10));
  if (api_->Init() != 0) {
    lastOpen_ = BoxState::Failed;
    openFailure_ = "Error initializing libusb:";
    ctx.log.Add(openFailure_);
    return false;
  }
  contextActive_ = true;

  ctx.clock.SleepFor(common::FromMs(10));
  int rc = api_->Open(kBoxVendorId, kBoxProductId);
  if (rc != 0) {
    ReportOpenFailure(ctx.log, rc);
    Close();  // balance the init: reopening is retried often
    return false;
  }
  handleOpen_ = true;
  ctx.log.Add("1 Device Opened");

  api_->ResetDevice();  // result deliberately ignored
  int interfaces = api_->InterfaceCount();
  if (interfaces < 0) {
    lastOpen_ = BoxState::Failed;
    openFailure_ = fmt::format("The interface box's configuration could not be read: {}",
                               api_->ErrorText(interfaces));
    ctx.log.Add(openFailure_);
    Close();
    return false;
  }

  api_->SetAutoDetachKernelDriver(true);
  bool claimed = false;
  int claimError = kUsbErrorNotFound;  // no interface at all
  for (int i = 0; i < interfaces; ++i) {
    api_->KernelDriverActive(i);  // result ignored: auto-detach handles it
    const int rc = api_->ClaimInterface(i);
    if (rc == 0) claimed = true;
    if (rc != 0) claimError = rc;
  }
  if (!claimed) {
    // Another program holding the box shows here, not at the open: say so, once.
    if (claimError == kUsbErrorBusy || claimError == kUsbErrorAccess) {
      ReportOpenFailure(ctx.log, claimError);
    } else {
      lastOpen_ = BoxState::Failed;
      openFailure_ = "The interface box was opened but none of its interfaces could be claimed.";
      ctx.log.Add(openFailure_);
    }
    Close();
    return false;
  }
  lastReportedOpenError_ = 0;
  lastOpen_ = BoxState::Connected;
  openFailure_.clear();
  return true;
}

void LibusbTransport::Close() {
  if (handleOpen_) api_->CloseHandle();
  handleOpen_ = false;
  if (contextActive_) api_->Exit();
  contextActive_ = false;
}

int LibusbTransport::InterruptOut(const LinkFrame& frame) {
  if (!handleOpen_) return kUsbErrorNotFound;
  LinkFrame copy = frame;  // libusb takes a non-const buffer
  int transferred = 0;
  return api_->InterruptTransfer(kOutEndpoint, copy.data(), static_cast<int>(copy.size()),
                                 &transferred, kTransferTimeoutMs);
}

int LibusbTransport::GetReport(LinkFrame& frame) {
  if (!handleOpen_) return kUsbErrorNotFound;
  return api_->ControlTransfer(0xA1, 0x01, 0x0100, 0, frame.data(),
                               static_cast<uint16_t>(frame.size()), kTransferTimeoutMs);
}

void LibusbTransport::ClearHalt() {
  if (handleOpen_) api_->ClearHalt(0);
}

std::string LibusbTransport::ErrorText(int code) const {
  return api_->ErrorText(code);
}

}  // namespace velquor::link
