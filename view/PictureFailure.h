#pragma once

// A picture whose memory cannot be had ends the player: its message on the
// console, then status 1.

#include "Messages.h"
#include "Picture.h"

#include <cstdlib>

[[noreturn]] inline void endOnPictureFailure(const PictureAllocationError& failure) {
    engineMessage(MessageStream::Output, "%s", failure.what());
    flushEngineMessages();
    std::exit(1);
}
