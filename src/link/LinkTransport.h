#pragma once
// What the link needs from the box: open, one 33-byte frame out, one frame in,
// clear halt, close. Implemented by libusb for the real box and by the virtual line.

#include <string>

#include "common/Clock.h"
#include "common/Log.h"
#include "link/LinkFrame.h"

namespace velquor::link {

// What came of the last attempt to open the box, for the technician.
enum class BoxState {
  Connected,
  NotFound,      // no box attached
  NoPermission,  // attached, but this user may not open it (the udev rule)
  Busy,          // attached, but another program holds it
  Failed,        // opening or claiming it failed otherwise (or libusb would not start)
};

// Services an implementation may use while opening.
struct OpenContext {
  common::LogSink& log;
  common::Clock& clock;
};

class LinkTransport {
 public:
  virtual ~LinkTransport() = default;

  // Opens and claims the box; true when at least one interface was claimed. Writes its
  // own progress and failure lines. On false everything it acquired is released.
  virtual bool Open(const OpenContext& ctx) = 0;
  // Releases the handle and the library context.
  virtual void Close() = 0;
  // Interrupt OUT of one frame; 0 or more on success, a negative libusb code on failure.
  virtual int InterruptOut(const LinkFrame& frame) = 0;
  // GET_REPORT of one frame; the number of bytes received, or a negative libusb code.
  virtual int GetReport(LinkFrame& frame) = 0;
  // Clears a halt after a pipe error.
  virtual void ClearHalt() = 0;
  // The library's text for an error code.
  virtual std::string ErrorText(int code) const = 0;
  // Why the last Open failed, as its log line said; empty when it did not fail, or when the
  // box is simply not there.
  virtual std::string OpenFailure() const { return {}; }
  // How the last Open ended; a transport that cannot tell says Connected.
  virtual BoxState LastOpen() const { return BoxState::Connected; }
};

}  // namespace velquor::link
