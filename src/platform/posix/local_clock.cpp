// The local clock and the locale's names of days and months.
//
// The C library reads the time zone once and keeps it; replacing /etc/localtime (as timedatectl
// does) goes unseen until it is told to read it again. An inotify watch on the zone file's
// folder says when that is worth doing, so the zone is read again only when it changed.
//
// Four surprises. glibc's tzset() reads the file again only when TZ's value differs from the
// last call's (with TZ unset it does look at /etc/localtime again, but skips a file whose inode
// and mtime, in whole seconds, look the same), so a changed file under an unchanged TZ needs TZ
// moved away and back. A folder mounted over (a new /etc) sends the old folder's watch nothing:
// /proc/self/mountinfo wakes on any mount change, and the folder is watched again when it is no
// longer the one watched; a storm of unrelated mounts is heard at most once a second. A watched
// folder that is deleted, moved or unmounted drops its watch (IN_IGNORED), so it is armed again
// on the path. And tzset() opens the file blocking: a FIFO in its place would stop the clock for
// good, so the file is looked at first and the zone kept (UTC at start) while it is no file.
#include "platform/posix/local_clock.h"

#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <sys/epoll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "platform/posix/deadline.h"
#include "platform/posix/zone_file.h"

namespace plat {
namespace posix {
namespace {

struct ZoneWatch {
  int fd = -1;        // epoll over the three below: the one descriptor the wait polls
  int notify = -1;    // inotify on the zone file's folder
  int mounts = -1;    // /proc/self/mountinfo, ready (POLLPRI) after a mount change
  int hold = -1;      // timerfd: ends the second in which mount changes go unheard
  int wd = -1;        // the folder's watch, -1 when it could not be armed
  dev_t dev = 0;      // the watched folder's identity, to notice one mounted over it
  ino_t ino = 0;
  std::int64_t lastLookNs = -1;  // when a mount change last made us look at the folder
  std::string path;   // the zone file; empty when TZ names none
  std::string folder;
  std::string name;  // the zone file's name within the folder
  std::optional<std::string> tz;  // the TZ the program was started with, to put back
  bool toldUnusable = false;
};

// False, said once on stderr, when the C library must not open the zone file: it would block.
bool ZoneUsable(ZoneWatch& w, const char* meanwhile) {
  std::string what;
  if (ZoneFileReadable(w.path, &what)) return true;
  if (!w.toldUnusable) {
    std::fprintf(stderr, "zorvane: the time zone file %s is %s, not a zone file; %s\n",
                 w.path.c_str(), what.c_str(), meanwhile);
    w.toldUnusable = true;
  }
  return false;
}

// (Re)arms the watch on the folder; true when it is armed.
bool ArmFolder(ZoneWatch& w) {
  if (w.wd >= 0) inotify_rm_watch(w.notify, w.wd);  // fails harmlessly for a dropped watch
  w.wd = -1;
  struct stat st {};
  if (stat(w.folder.c_str(), &st) != 0) return false;
  // A link replaced by rename arrives as MOVED_TO, `ln -sf` as DELETE then CREATE, a file
  // rewritten in place as CLOSE_WRITE; the folder itself going away as DELETE_SELF, MOVE_SELF
  // or UNMOUNT, each followed by IGNORED.
  w.wd = inotify_add_watch(w.notify, w.folder.c_str(),
                           IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM | IN_CLOSE_WRITE |
                               IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR);
  w.dev = st.st_dev;
  w.ino = st.st_ino;
  return w.wd >= 0;
}

void AddToEpoll(const ZoneWatch& w, int fd, std::uint32_t events) {
  epoll_event ev{};
  ev.events = events;
  ev.data.fd = fd;
  epoll_ctl(w.fd, EPOLL_CTL_ADD, fd, &ev);
}

// Mount changes heard, or left unheard. Out of the epoll set, not in it with no events: epoll
// always listens for EPOLLERR, which mountinfo raises with every change.
void HearMounts(const ZoneWatch& w, bool hear) {
  if (hear) {
    AddToEpoll(w, w.mounts, EPOLLPRI);
  } else {
    epoll_ctl(w.fd, EPOLL_CTL_DEL, w.mounts, nullptr);
  }
}

ZoneWatch OpenZoneWatch() {
  ZoneWatch w;
  if (const char* tz = std::getenv("TZ")) w.tz = tz;
  w.path = ZoneFilePath(std::getenv("TZ"), std::getenv("TZDIR"));
  // Nothing has read the zone yet. UTC, not the zone of /etc/localtime: it is what the C library
  // shows for any other zone file it cannot use (one missing or damaged), and with TZ unset the
  // file that is no file is /etc/localtime itself.
  if (!ZoneUsable(w, "the clock shows UTC until one is there")) setenv("TZ", "UTC0", 1);
  const auto slash = w.path.rfind('/');
  if (slash == std::string::npos) return w;
  w.name = w.path.substr(slash + 1);
  w.folder = slash == 0 ? "/" : w.path.substr(0, slash);
  w.fd = epoll_create1(EPOLL_CLOEXEC);
  w.notify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (w.fd < 0 || w.notify < 0) {
    if (w.fd >= 0) close(w.fd);
    if (w.notify >= 0) close(w.notify);
    w.fd = w.notify = -1;
    return w;
  }
  AddToEpoll(w, w.notify, EPOLLIN);
  ArmFolder(w);
  // Without mountinfo (no /proc) only a folder mounted over goes unnoticed; without the timer
  // every mount change is heard.
  w.mounts = open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
  if (w.mounts >= 0) AddToEpoll(w, w.mounts, EPOLLPRI);
  w.hold = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
  if (w.hold >= 0) AddToEpoll(w, w.hold, EPOLLIN);
  return w;
}

ZoneWatch& Watch() {
  static ZoneWatch watch = OpenZoneWatch();
  return watch;
}

// Makes the C library read the zone again even when TZ is set and unchanged: a TZ that names no
// file in between also clears its memory of the last file's inode and mtime. Nothing is read
// while the file is no regular file: the zone read last stays.
bool ReadZoneAgain(ZoneWatch& w) {
  if (!ZoneUsable(w, "the clock keeps the zone it had until a zone file is there again")) {
    return false;
  }
  setenv("TZ", "ZRV0", 1);  // a plain offset rule: UTC under a name no zone file has
  tzset();
  if (w.tz) setenv("TZ", w.tz->c_str(), 1);
  else unsetenv("TZ");
  tzset();
  return true;
}

// A mount change, or the end of the second in which they went unheard: looks now or holds them
// off. True when the folder is to be looked at.
bool TakeMountChange(ZoneWatch& w, bool holdEnded) {
  const std::int64_t now = MonotonicNs();
  if (holdEnded) {
    // Heard again first, then looked at: a change made before this look is seen by it, one made
    // after it wakes the wait.
    HearMounts(w, true);
    w.lastLookNs = now;
    return true;
  }
  if (w.hold < 0) return true;
  const MountStep step = OnMountChange(w.lastLookNs, now);
  if (step.lookNow) w.lastLookNs = now;
  itimerspec in{};
  in.it_value = {static_cast<time_t>(step.holdNs / 1'000'000'000),
                 static_cast<long>(step.holdNs % 1'000'000'000)};
  if (timerfd_settime(w.hold, 0, &in, nullptr) == 0) HearMounts(w, false);
  return step.lookNow;
}

}  // namespace

void WatchZone() { Watch(); }

DateTime LocalReading(timespec& at) {
  clock_gettime(CLOCK_REALTIME, &at);
  std::tm tm{};
  localtime_r(&at.tv_sec, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

int ZoneWatchFd() { return Watch().fd; }

bool TakeZoneChange() {
  ZoneWatch& w = Watch();
  if (w.fd < 0) return false;
  bool changed = false, rearm = false, heard = false, mounts = false, holdEnded = false;
  epoll_event evs[3];
  for (int ready; (ready = epoll_wait(w.fd, evs, 3, 0)) > 0;) {
    for (int i = 0; i < ready; ++i) {
      if (evs[i].data.fd == w.mounts) mounts = true;
      if (evs[i].data.fd == w.hold) {
        std::uint64_t expirations;
        holdEnded = read(w.hold, &expirations, sizeof expirations) > 0 || holdEnded;
      }
    }
    // Reading the inotify side is what empties it.
    alignas(inotify_event) char buf[4096];
    const ssize_t n = read(w.notify, buf, sizeof buf);
    if (n <= 0) break;
    heard = true;
    for (ssize_t i = 0; i < n;) {
      const auto* ev = reinterpret_cast<const inotify_event*>(buf + i);
      if (ev->mask & IN_Q_OVERFLOW) changed = true;
      else if (ev->wd == w.wd && (ev->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF |
                                             IN_UNMOUNT)))
        rearm = true;
      else if (ev->len > 0 && w.name == ev->name) changed = true;
      i += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
    }
  }
  // Polling the epoll, as the wait did, takes mountinfo's news: a wake that neither the folder
  // nor the timer explains was a mount change.
  if (!heard && !holdEnded) mounts = true;
  bool look = heard;
  if (mounts || holdEnded) look = TakeMountChange(w, holdEnded) || look;
  if (look) {
    // Is the folder at the path still the one watched?
    struct stat st {};
    const bool present = stat(w.folder.c_str(), &st) == 0;
    if (rearm || w.wd < 0 || !present || st.st_dev != w.dev || st.st_ino != w.ino) {
      ArmFolder(w);
      changed = true;  // whatever happened to the folder, the file may now be another
    }
  }
  return changed && ReadZoneAgain(w);
}

}  // namespace posix

DateTime LocalNow() {
  timespec at{};
  return posix::LocalReading(at);
}

namespace {

// strftime in the user's locale, converted to UTF-8 when the locale's charset is another.
std::string LocaleName(const char* format, const std::tm& tm) {
  char buf[128];
  size_t n = std::strftime(buf, sizeof buf, format, &tm);
  std::string s(buf, n);
  const char* codeset = nl_langinfo(CODESET);
  if (!codeset || !std::strcmp(codeset, "UTF-8") || !std::strcmp(codeset, "ANSI_X3.4-1968"))
    return s;
  iconv_t cd = iconv_open("UTF-8", codeset);
  if (cd == reinterpret_cast<iconv_t>(-1)) return s;
  std::string out(s.size() * 4 + 4, '\0');
  char* in = s.data();
  char* o = out.data();
  size_t inLeft = s.size(), outLeft = out.size();
  if (iconv(cd, &in, &inLeft, &o, &outLeft) == static_cast<size_t>(-1)) out = s;
  else out.resize(out.size() - outLeft);
  iconv_close(cd);
  return out;
}

// Names are looked up once: the locale does not change while the program runs, and the tick
// asks for nine of them every pass.
const std::string& CachedName(bool month, int index, bool abbreviate) {
  static std::string cache[2][12][2];
  static bool filled[2][12][2] = {};
  std::string& slot = cache[month][index][abbreviate];
  if (!filled[month][index][abbreviate]) {
    std::tm tm{};
    tm.tm_year = 100;
    tm.tm_mday = 1;
    if (month) tm.tm_mon = index;
    else tm.tm_wday = index;
    slot = LocaleName(month ? (abbreviate ? "%b" : "%B") : (abbreviate ? "%a" : "%A"), tm);
    filled[month][index][abbreviate] = true;
  }
  return slot;
}

}  // namespace

std::string WeekdayName(int weekday, bool abbreviate) {
  return CachedName(false, ((weekday - 1) % 7 + 7) % 7, abbreviate);
}

std::string MonthName(int month, bool abbreviate) {
  return CachedName(true, ((month - 1) % 12 + 12) % 12, abbreviate);
}

}  // namespace plat
