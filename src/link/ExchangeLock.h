#pragma once
// Ownership of the link for one whole exchange, from the first frame sent to the end of the
// receive: the engine holds it around an exchange and the link takes it again for each frame
// it sends and receives inside it; another thread (the engine tick's DMX frame) waits. It
// inherits the waiting tick's real-time priority, so a loaded machine does not stretch the wait.

#include "common/PiMutex.h"

namespace velquor::link {

using ExchangeLock = common::RecursivePiMutex;

}  // namespace velquor::link
