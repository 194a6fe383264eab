// The local time zone's file as the C library finds it, whether it is safe to let the C library
// read it, and how often a mount change may make the clock look at it again: pure rules over the
// environment and the file system, kept apart from X11 so the unit tests can reach them.
#pragma once
#include <cstdint>
#include <string>

namespace plat::posix {

// The file the C library takes the zone from: TZ names it (":" first is allowed, a relative name
// is under TZDIR, else /usr/share/zoneinfo), unset means /etc/localtime; empty when there is no
// file (TZ="" is UTC). A TZ that is a rule ("CET-1CEST") names a file that is not there, which
// the C library then reads as the rule.
std::string ZoneFilePath(const char* tz, const char* tzdir);

// False, with `why` saying what stands there ("a FIFO", "a folder"), when something other than a
// regular file (or a link to one) is at `path`. glibc's tzset() opens the file without
// O_NONBLOCK: a FIFO blocks it, and the clock with it, until a writer comes. Nothing there, or
// a folder on the way that cannot be entered, is fine: the C library then falls back to UTC on
// its own, without waiting.
bool ZoneFileReadable(const std::string& path, std::string* why);

// What a mount change (any mount or unmount, seen through /proc/self/mountinfo) does: the zone's
// folder is looked at now when the last look is at least kMountLookGapNs old; either way further
// mount changes are left unheard for `holdNs`, until a second after the look, when one more
// look catches whatever they did. A storm of mounts thus costs two wake-ups a second, not two
// per mount.
constexpr std::int64_t kMountLookGapNs = 1'000'000'000;
struct MountStep {
  bool lookNow = false;
  std::int64_t holdNs = 0;  // > 0
};
// Times are monotonic nanoseconds; lastLookNs < 0 when there was no look yet.
MountStep OnMountChange(std::int64_t lastLookNs, std::int64_t nowNs);

}  // namespace plat::posix
