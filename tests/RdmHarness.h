#pragma once
// The virtual line, the link and the RDM engine wired together on a manual clock.

#include <string>

#include "UidLiterals.h"
#include "common/Clock.h"
#include "common/Log.h"
#include "link/UsbLink.h"
#include "rdm/RdmEngine.h"
#include "virtualline/VirtualLine.h"

namespace velquor::testsupport {

constexpr rdm::Uid kSpot1{0x7FF000000101ULL};
constexpr rdm::Uid kSpot2{0x7FF000000102ULL};
constexpr rdm::Uid kPar1{0x7FF100000201ULL};
constexpr rdm::Uid kRadio{0x7FF400000501ULL};
constexpr rdm::Uid kNobody{0x123400005678ULL};

template <class ClockT = common::ManualClock>
struct RdmHarness {
  explicit RdmHarness(virtualline::Rig rig = virtualline::DefaultRig())
      : line(std::move(rig), clock), link(line, log, clock), engine(link, log) {
    link.LinkOpen();
    link.SetResponseTimeout(50);  // as at start-up
    engine.SetNowText([] { return std::string("2026-01-02 03:04:05"); });
  }

  rdm::RdmAnswer Get(AnyUid uid, uint16_t pid, std::vector<uint8_t> data = {}) {
    return engine.RdmTransact({rdm::GET_COMMAND, pid, std::move(data)}, uid, true);
  }
  rdm::RdmAnswer Set(AnyUid uid, uint16_t pid, std::vector<uint8_t> data) {
    return engine.RdmTransact({rdm::SET_COMMAND, pid, std::move(data)}, uid, true);
  }
  // A fixture as the rig has it now; a UID the rig does not have fails the test.
  virtualline::Fixture Fixture(AnyUid uid) const {
    return line.FixtureState(uid.uid.Value()).value();
  }
  std::vector<std::string> LinesStartingWith(const std::string& prefix) const {
    std::vector<std::string> lines;
    for (auto& line : log.Lines()) {
      if (line.starts_with(prefix)) lines.push_back(line);
    }
    return lines;
  }
  size_t Requests() const { return log.CountStartingWith("->Request:"); }
  size_t Responses() const { return log.CountStartingWith("Response:"); }

  ClockT clock;
  common::LogSink log;
  virtualline::VirtualLine line;
  link::UsbLink link;
  rdm::RdmEngine engine;
};

}  // namespace velquor::testsupport
