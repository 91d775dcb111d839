#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/Clock.h"
#include "common/Log.h"
#include "link/LibusbTransport.h"
#include "link/UsbLink.h"

using namespace velquor;
using namespace velquor::link;

namespace {

// Records the libusb calls and answers them as scripted.
struct FakeApi : LibusbApi {
  std::vector<std::string> calls;
  int initRc = 0;
  int openRc = 0;
  int interfaces = 2;
  std::vector<int> claimRc{0, 0};
  int transferRc = 0;
  int controlRc = 33;
  int inits = 0, exits = 0, closes = 0;
  uint8_t lastEndpoint = 0;
  int lastLength = 0;
  unsigned lastTimeout = 0;
  std::vector<int> controlArgs;

  int Init() override {
    calls.push_back("init");
    if (initRc == 0) ++inits;
    return initRc;
  }
  void Exit() override {
    calls.push_back("exit");
    ++exits;
  }
  int Open(uint16_t vid, uint16_t pid) override {
    calls.push_back("open");
    EXPECT_EQ(vid, 0x04B4);
    EXPECT_EQ(pid, 0x0F1F);
    return openRc;
  }
  void CloseHandle() override {
    calls.push_back("close");
    ++closes;
  }
  int ResetDevice() override {
    calls.push_back("reset");
    return -5;  // ignored
  }
  int InterfaceCount() override {
    calls.push_back("config");
    return interfaces;
  }
  int SetAutoDetachKernelDriver(bool enable) override {
    calls.push_back(enable ? "autodetach" : "noautodetach");
    return 0;
  }
  int KernelDriverActive(int) override { return 1; }
  int ClaimInterface(int i) override {
    calls.push_back("claim" + std::to_string(i));
    return i < static_cast<int>(claimRc.size()) ? claimRc[static_cast<size_t>(i)] : -1;
  }
  int InterruptTransfer(uint8_t endpoint, uint8_t*, int length, int* transferred,
                        unsigned timeoutMs) override {
    lastEndpoint = endpoint;
    lastLength = length;
    lastTimeout = timeoutMs;
    *transferred = transferRc == 0 ? length : 0;
    return transferRc;
  }
  int ControlTransfer(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index,
                      uint8_t*, uint16_t length, unsigned timeoutMs) override {
    controlArgs = {requestType, request, value, index, length, static_cast<int>(timeoutMs)};
    return controlRc;
  }
  int ClearHalt(uint8_t endpoint) override {
    calls.push_back("clearhalt" + std::to_string(endpoint));
    return 0;
  }
  std::string ErrorText(int code) const override { return "usb error " + std::to_string(code); }
};

struct TransportFixture : ::testing::Test {
  common::LogSink log;
  common::ManualClock clock;
  FakeApi* api = nullptr;
  std::unique_ptr<LibusbTransport> transport;

  void SetUp() override {
    auto owned = std::make_unique<FakeApi>();
    api = owned.get();
    transport = std::make_unique<LibusbTransport>(std::move(owned));
  }
  bool Open() { return transport->Open(OpenContext{log, clock}); }
};

}  // namespace

TEST_F(TransportFixture, OpensInTheDocumentedOrder) {
  EXPECT_TRUE(Open());
  EXPECT_EQ(api->calls, (std::vector<std::string>{"init", "open", "reset", "config", "autodetach",
                                                  "claim0", "claim1"}));
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"1 Device Opened"}));
  EXPECT_EQ(clock.Now(), common::FromMs(20)) << "10 ms before init and before open";
}

TEST_F(TransportFixture, InitFailureIsLoggedAndNothingOpened) {
  api->initRc = -99;
  EXPECT_FALSE(Open());
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"Error initializing libusb:"}));
  EXPECT_EQ(api->calls, (std::vector<std::string>{"init"}));
}

TEST_F(TransportFixture, NoBoxIsSilentAndReleasesTheContext) {
  api->openRc = kUsbErrorNotFound;
  EXPECT_FALSE(Open());
  EXPECT_EQ(log.Count(), 0u);
  EXPECT_EQ(api->inits, api->exits) << "every reopening attempt balances its init";
}

TEST_F(TransportFixture, BoxWithoutPermissionSaysHowToFixItOnce) {
  api->openRc = kUsbErrorAccess;
  EXPECT_FALSE(Open());
  EXPECT_FALSE(Open());
  ASSERT_EQ(log.Count(), 1u);
  EXPECT_NE(log.Lines()[0].find("60-velquor.rules"), std::string::npos);
  api->openRc = kUsbErrorBusy;
  EXPECT_FALSE(Open());
  EXPECT_EQ(log.Count(), 2u);
  EXPECT_NE(log.Lines()[1].find("busy"), std::string::npos);
}

TEST_F(TransportFixture, NoClaimClosesAndExits) {
  api->claimRc = {-3, -6};
  EXPECT_FALSE(Open());
  EXPECT_EQ(api->closes, 1);
  EXPECT_EQ(api->exits, 1);
  // One good claim out of two is enough.
  api->claimRc = {-6, 0};
  EXPECT_TRUE(Open());
}

TEST_F(TransportFixture, ConfigurationFailureClosesTheHandle) {
  api->interfaces = -1;
  EXPECT_FALSE(Open());
  EXPECT_EQ(api->closes, 1);
  EXPECT_EQ(api->exits, 1);
}

TEST_F(TransportFixture, TransfersUseTheBoxEndpointsAndTimeouts) {
  ASSERT_TRUE(Open());
  LinkFrame frame{};
  EXPECT_EQ(transport->InterruptOut(frame), 0);
  EXPECT_EQ(api->lastEndpoint, 0x02);
  EXPECT_EQ(api->lastLength, 33);
  EXPECT_EQ(api->lastTimeout, 50u);
  EXPECT_EQ(transport->GetReport(frame), 33);
  EXPECT_EQ(api->controlArgs, (std::vector<int>{0xA1, 0x01, 0x0100, 0, 33, 50}));
  transport->ClearHalt();
  EXPECT_EQ(api->calls.back(), "clearhalt0");
}

TEST_F(TransportFixture, LinkOverLibusbClosesOnTransferErrorAndReopens) {
  UsbLink link(*transport, log, clock);
  link.LinkOpen();
  ASSERT_TRUE(link.IsOpen());
  api->transferRc = -7;
  EXPECT_EQ(link.LinkSend(LINK_MODE_RDM, std::vector<uint8_t>(31, 0)), -7);
  EXPECT_FALSE(link.IsOpen());
  EXPECT_EQ(log.CountOf("usb error -7"), 1u);
  EXPECT_EQ(api->exits, 1);
  api->transferRc = 0;
  link.LinkSend(LINK_MODE_RDM, std::vector<uint8_t>(31, 0));
  EXPECT_TRUE(link.IsOpen()) << "an RDM frame on a closed link reopens it";
  EXPECT_EQ(api->inits, 2);
}

TEST_F(TransportFixture, PipeErrorOnPollClearsHaltAndCloses) {
  UsbLink link(*transport, log, clock);
  link.LinkOpen();
  api->controlRc = kUsbErrorPipe;
  link.LinkPollInput({});
  EXPECT_FALSE(link.IsOpen());
  EXPECT_NE(std::find(api->calls.begin(), api->calls.end(), "clearhalt0"), api->calls.end());
  EXPECT_EQ(api->closes, 1);
}

TEST_F(TransportFixture, TransfersOnAClosedTransportFailCleanly) {
  LinkFrame frame{};
  EXPECT_LT(transport->InterruptOut(frame), 0);
  EXPECT_LT(transport->GetReport(frame), 0);
}
