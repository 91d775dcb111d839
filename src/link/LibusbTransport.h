#pragma once
// The real box through libusb-1.0, over a thin seam of the libusb calls it makes so
// that open failures, claim failures and transfer errors can be tested without a box.

#include <cstdint>
#include <memory>
#include <string>

#include "link/LinkTransport.h"

namespace velquor::link {

constexpr uint16_t kBoxVendorId = 0x04B4;
constexpr uint16_t kBoxProductId = 0x0F1F;
constexpr uint8_t kOutEndpoint = 0x02;
constexpr unsigned kTransferTimeoutMs = 50;

// libusb error codes the link reacts to (same values as libusb.h).
constexpr int kUsbErrorAccess = -3;
constexpr int kUsbErrorNotFound = -5;
constexpr int kUsbErrorBusy = -6;
constexpr int kUsbErrorPipe = -9;

// The handful of libusb calls, on the default context and one device handle.
class LibusbApi {
 public:
  virtual ~LibusbApi() = default;
  virtual int Init() = 0;
  virtual void Exit() = 0;
  // Opens the first device with this vendor and product ID. 0, or a libusb error code
  // (kUsbErrorNotFound when none is attached).
  virtual int Open(uint16_t vendorId, uint16_t productId) = 0;
  virtual void CloseHandle() = 0;
  virtual int ResetDevice() = 0;
  // bNumInterfaces of configuration index 0, or a negative code.
  virtual int InterfaceCount() = 0;
  virtual int SetAutoDetachKernelDriver(bool enable) = 0;
  virtual int KernelDriverActive(int interfaceNumber) = 0;
  virtual int ClaimInterface(int interfaceNumber) = 0;
  virtual int InterruptTransfer(uint8_t endpoint, uint8_t* data, int length, int* transferred,
                                unsigned timeoutMs) = 0;
  virtual int ControlTransfer(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index,
                              uint8_t* data, uint16_t length, unsigned timeoutMs) = 0;
  virtual int ClearHalt(uint8_t endpoint) = 0;
  virtual std::string ErrorText(int code) const = 0;
};

// The real calls.
std::unique_ptr<LibusbApi> MakeLibusbApi();

class LibusbTransport final : public LinkTransport {
 public:
  explicit LibusbTransport(std::unique_ptr<LibusbApi> api);

  bool Open(const OpenContext& ctx) override;
  void Close() override;
  int InterruptOut(const LinkFrame& frame) override;
  int GetReport(LinkFrame& frame) override;
  void ClearHalt() override;
  std::string ErrorText(int code) const override;
  std::string OpenFailure() const override { return openFailure_; }
  BoxState LastOpen() const override { return lastOpen_; }

 private:
  std::string OpenFailureText(int code) const;
  void ReportOpenFailure(common::LogSink& log, int code);

  std::unique_ptr<LibusbApi> api_;
  bool contextActive_ = false;
  bool handleOpen_ = false;
  int lastReportedOpenError_ = 0;
  std::string openFailure_;
  BoxState lastOpen_ = BoxState::NotFound;
};

}  // namespace velquor::link
