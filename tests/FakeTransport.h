#pragma once
// A scripted link transport: records every frame sent, plays back GET_REPORT results.

#include <deque>
#include <string>
#include <vector>

#include "link/LinkTransport.h"

namespace velquor::testsupport {

class FakeTransport : public link::LinkTransport {
 public:
  struct Report {
    int rc = 33;
    link::LinkFrame frame{};
  };

  bool openSucceeds = true;
  link::BoxState state = link::BoxState::Connected;  // what a failed Open says
  int openCalls = 0;
  int closeCalls = 0;
  int clearHaltCalls = 0;
  int getReportCalls = 0;
  std::vector<link::LinkFrame> sent;
  std::deque<int> outResults;  // next InterruptOut codes; empty = success
  std::deque<Report> reports;  // next GET_REPORT results; empty = a frame of code 0

  bool Open(const link::OpenContext& ctx) override {
    ++openCalls;
    if (openSucceeds) ctx.log.Add("1 Device Opened");
    return openSucceeds;
  }
  void Close() override { ++closeCalls; }
  link::BoxState LastOpen() const override { return state; }
  int InterruptOut(const link::LinkFrame& frame) override {
    sent.push_back(frame);
    if (outResults.empty()) return 0;
    int rc = outResults.front();
    outResults.pop_front();
    return rc;
  }
  int GetReport(link::LinkFrame& frame) override {
    ++getReportCalls;
    if (reports.empty()) {
      frame.fill(0);
      return 33;
    }
    Report r = reports.front();
    reports.pop_front();
    frame = r.frame;
    return r.rc;
  }
  void ClearHalt() override { ++clearHaltCalls; }
  std::string ErrorText(int code) const override { return "fake error " + std::to_string(code); }

  // Queues an RDM (base 0xCC) or DMX (0xE5) chunk carrying `data` for GET_REPORT.
  void QueueChunk(uint8_t base, size_t index, const std::vector<uint8_t>& data, uint8_t key = 7) {
    link::Chunk chunk{};
    std::copy_n(data.begin(), std::min(data.size(), chunk.size()), chunk.begin());
    reports.push_back({33, link::ScrambleChunk(base, index, chunk, key)});
  }
};

}  // namespace velquor::testsupport
