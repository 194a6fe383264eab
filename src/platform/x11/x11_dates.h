// The X11 wait still reaches the local clock under its old name; the clock itself is POSIX code
// (posix/local_clock.h). This header goes once x11_wait.cpp includes that one.
#pragma once
#include "platform/posix/local_clock.h"

namespace plat::x11 {

using posix::LocalReading;
using posix::TakeZoneChange;
using posix::WatchZone;
using posix::ZoneWatchFd;

}  // namespace plat::x11
