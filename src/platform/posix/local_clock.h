// The local clock of the Linux backend, shared by its date services and its wait: POSIX calls
// alone (inotify, epoll, timerfd, iconv), nothing of X11.
#pragma once
#include <ctime>

#include "platform/dates.h"

namespace plat::posix {

// One reading of the wall clock: the exact instant and the local date and time it shows.
DateTime LocalReading(timespec& at);

// Looks at the zone file before anything reads the local time, and starts watching it. A zone
// file that is no regular file (a FIFO would block the C library for good) gives UTC, said once.
void WatchZone();

// A descriptor that becomes readable when the local time zone's file may have been replaced or
// rewritten; -1 when it cannot be watched.
int ZoneWatchFd();
// Reads what the zone watch reported. True when the zone's file changed: the zone is then
// already read again, so the next reading follows it.
bool TakeZoneChange();

}  // namespace plat::posix
