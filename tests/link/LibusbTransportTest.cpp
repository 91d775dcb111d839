#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/Clock.h"
#include "common/Log.h"
#include "link/LibusbTransport.h"

using namespace velquor;
using namespace velquor::link;

namespace {

// Records the libusb calls and answers them as scripted.
struct FakeApi : LibusbApi {
  std::vector<std::string> calls;
  int initRc = 0, openRc = 0, interfaces = 2, transferRc = 0, controlRc = 33;
  std::vector<int> claimRc{0, 0};
  std::vector<int> interruptArgs, controlArgs;  // the last transfer's

  long Count(const std::string& call) const { return std::count(calls.begin(), calls.end(), call); }
  int Call(const std::string& name, int rc) {
    calls.push_back(name);
    return rc;
  }
  int Init() override { return Call("init", initRc); }
  void Exit() override { Call("exit", 0); }
  int Open(uint16_t vid, uint16_t pid) override {
    EXPECT_EQ(vid, 0x04B4);
    EXPECT_EQ(pid, 0x0F1F);
    return Call("open", openRc);
  }
  void CloseHandle() override { Call("close", 0); }
  int ResetDevice() override { return Call("reset", -5); }  // ignored
  int InterfaceCount() override { return Call("config", interfaces); }
  int SetAutoDetachKernelDriver(bool enable) override {
    return Call(enable ? "autodetach" : "noautodetach", 0);
  }
  int KernelDriverActive(int) override { return 1; }
  int ClaimInterface(int i) override {
    return Call("claim" + std::to_string(i),
                i < static_cast<int>(claimRc.size()) ? claimRc[static_cast<size_t>(i)] : -1);
  }
  int InterruptTransfer(uint8_t endpoint, uint8_t*, int length, int* transferred,
                        unsigned timeoutMs) override {
    interruptArgs = {endpoint, length, static_cast<int>(timeoutMs)};
    *transferred = transferRc == 0 ? length : 0;
    return transferRc;
  }
  int ControlTransfer(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index,
                      uint8_t*, uint16_t length, unsigned timeoutMs) override {
    controlArgs = {requestType, request, value, index, length, static_cast<int>(timeoutMs)};
    return controlRc;
  }
  int ClearHalt(uint8_t endpoint) override {
    return Call("clearhalt" + std::to_string(endpoint), 0);
  }
  std::string ErrorText(int code) const override { return "usb error " + std::to_string(code); }
};

// A transport over a scripted FakeApi, with the log and clock an open is given.
struct Box {
  common::LogSink log;
  common::ManualClock clock;
  FakeApi* api = new FakeApi;  // owned by the transport
  std::unique_ptr<LibusbTransport> transport =
      std::make_unique<LibusbTransport>(std::unique_ptr<FakeApi>(api));
  bool Open() { return transport->Open(OpenContext{log, clock}); }
};
struct TransportFixture : Box, ::testing::Test {};

}  // namespace

// Every way an open ends, as the calls it made (each init balanced by an exit) and its lines.
TEST(LibusbOpen, EveryOutcomeInTheDocumentedOrderAndBalanced) {
  const std::string opened = "init open reset config autodetach claim0 claim1";
  // The codes of init, open, the interface count and the two claims; whether it opens, the
  // calls made, the lines logged (joined by '|'), what the window is told.
  using enum BoxState;
  const std::string busy =
      "The interface box (04b4:0f1f) is attached but busy: close the other program that holds "
      "it, then try again.";
  const std::tuple<int, int, int, int, int, bool, std::string, std::string, BoxState> cases[] = {
      {0, 0, 2, 0, 0, true, opened, "1 Device Opened", Connected},
      {0, 0, 2, -6, 0, true, opened, "1 Device Opened", Connected},  // one claim of two will do
      {-99, 0, 2, 0, 0, false, "init", "Error initializing libusb:", Failed},
      {0, kUsbErrorNotFound, 2, 0, 0, false, "init open exit", "", NotFound},  // no box: silent
      {0, kUsbErrorAccess, 2, 0, 0, false, "init open exit", "*", NoPermission},
      {0, kUsbErrorBusy, 2, 0, 0, false, "init open exit", busy, Busy},
      {0, 0, -1, 0, 0, false, "init open reset config close exit",
       "1 Device Opened|The interface box's configuration could not be read: usb error -1", Failed},
      // Another program holding the box shows at the claim, not at the open.
      {0, 0, 2, -3, -6, false, opened + " close exit", "1 Device Opened|" + busy, Busy},
      {0, 0, 2, -1, -1, false, opened + " close exit",
       "1 Device Opened|The interface box was opened but none of its interfaces could be claimed.",
       Failed},
  };
  auto joined = [](const std::vector<std::string>& parts, const char* separator) {
    std::string out;
    for (const auto& part : parts) out += (out.empty() ? "" : separator) + part;
    return out;
  };
  for (const auto& [initRc, openRc, interfaces, claim0, claim1, opens, calls, lines, state] :
       cases) {
    Box box;
    box.api->initRc = initRc;
    box.api->openRc = openRc;
    box.api->interfaces = interfaces;
    box.api->claimRc = {claim0, claim1};
    EXPECT_EQ(box.Open(), opens) << calls;
    EXPECT_EQ(joined(box.api->calls, " "), calls);
    if (lines != "*") {  // "*": the permission text, read in the test below
      EXPECT_EQ(joined(box.log.Lines(), "|"), lines);
    }
    EXPECT_EQ(box.transport->LastOpen(), state) << calls;
    EXPECT_EQ(box.transport->OpenFailure().empty(), opens || state == NotFound) << calls;
    EXPECT_EQ(box.clock.Now(), common::FromMs(initRc ? 10 : 20)) << "10 ms before init and open";
  }
}

TEST_F(TransportFixture, BoxWithoutPermissionSaysHowToFixItOnceAndTransfersUseTheBoxEndpoints) {
  api->openRc = kUsbErrorAccess;
  EXPECT_FALSE(Open());
  EXPECT_FALSE(Open());
  ASSERT_EQ(log.Count(), 1u);
  EXPECT_THAT(log.Lines()[0], testing::AllOf(testing::HasSubstr("60-velquor.rules"),
                                             testing::HasSubstr("unplugged and plugged in again")));
  api->openRc = kUsbErrorBusy;
  EXPECT_FALSE(Open());
  EXPECT_THAT(log.Lines(), testing::ElementsAre(testing::_, testing::HasSubstr("busy")));
  // Held at the claim instead: still the same busy box, not said again at every reopening.
  api->openRc = 0;
  api->claimRc = {kUsbErrorBusy, kUsbErrorBusy};
  EXPECT_FALSE(Open());
  EXPECT_FALSE(Open());
  EXPECT_EQ(log.Count(), 4u) << "1 Device Opened, once";
  EXPECT_EQ(api->Count("init"), api->Count("exit")) << "every reopening attempt balances its init";

  // Closed, transfers fail cleanly; open, they use the box's endpoints and time-outs.
  LinkFrame frame{};
  EXPECT_TRUE(transport->InterruptOut(frame) < 0 && transport->GetReport(frame) < 0);
  api->claimRc = {0, 0};
  ASSERT_TRUE(Open());
  EXPECT_EQ(transport->InterruptOut(frame), 0);
  EXPECT_EQ(api->interruptArgs, (std::vector<int>{0x02, 33, 50}));
  EXPECT_EQ(transport->GetReport(frame), 33);
  EXPECT_EQ(api->controlArgs, (std::vector<int>{0xA1, 0x01, 0x0100, 0, 33, 50}));
  transport->ClearHalt();
  EXPECT_EQ(api->calls.back(), "clearhalt0");
}
