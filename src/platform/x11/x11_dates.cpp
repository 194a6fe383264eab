// The local clock and the locale's names of days and months.
//
// The C library reads the time zone once and keeps it; replacing /etc/localtime (as timedatectl
// does) goes unseen until it is told to read it again. An inotify watch on the zone file's
// folder says when that is worth doing, so the zone is read again only when it changed.
//
// Three surprises. glibc's tzset() reads the file again only when TZ's value differs from the
// last call's (with TZ unset it does look at /etc/localtime again, but skips a file whose inode
// and mtime, in whole seconds, look the same), so a changed file under an unchanged TZ needs TZ
// moved away and back. A folder mounted over (a new /etc) sends the old folder's watch nothing:
// /proc/self/mountinfo wakes on any mount change, and the folder is watched again when it is no
// longer the one watched. And a watched folder that is deleted, moved or unmounted drops its
// watch (IN_IGNORED), so it is armed again on the path.
#include "platform/x11/x11_dates.h"

#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <sys/epoll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

namespace plat {
namespace x11 {
namespace {

// The file the C library takes the zone from: TZ names it (":" first is allowed, a relative name
// is under TZDIR), unset means /etc/localtime; empty when there is no file (TZ="" is UTC).
std::string ZoneFilePath() {
  const char* tz = std::getenv("TZ");
  if (!tz) return "/etc/localtime";
  if (*tz == ':') ++tz;
  if (!*tz) return {};
  if (*tz == '/') return tz;
  const char* dir = std::getenv("TZDIR");
  return std::string(dir && *dir ? dir : "/usr/share/zoneinfo") + "/" + tz;
}

struct ZoneWatch {
  int fd = -1;        // epoll over the two below: the one descriptor the wait polls
  int notify = -1;    // inotify on the zone file's folder
  int mounts = -1;    // /proc/self/mountinfo, ready (POLLPRI) after a mount change
  int wd = -1;        // the folder's watch, -1 when it could not be armed
  dev_t dev = 0;      // the watched folder's identity, to notice one mounted over it
  ino_t ino = 0;
  std::string folder;
  std::string name;  // the zone file's name within the folder
};

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

ZoneWatch OpenZoneWatch() {
  ZoneWatch w;
  const std::string path = ZoneFilePath();
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return w;
  w.name = path.substr(slash + 1);
  w.folder = slash == 0 ? "/" : path.substr(0, slash);
  w.fd = epoll_create1(EPOLL_CLOEXEC);
  w.notify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (w.fd < 0 || w.notify < 0) {
    if (w.fd >= 0) close(w.fd);
    if (w.notify >= 0) close(w.notify);
    w.fd = w.notify = -1;
    return w;
  }
  epoll_event in{};
  in.events = EPOLLIN;
  epoll_ctl(w.fd, EPOLL_CTL_ADD, w.notify, &in);
  ArmFolder(w);
  // Without mountinfo (no /proc) only a folder mounted over goes unnoticed.
  w.mounts = open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
  if (w.mounts >= 0) {
    epoll_event pri{};
    pri.events = EPOLLPRI;
    epoll_ctl(w.fd, EPOLL_CTL_ADD, w.mounts, &pri);
  }
  return w;
}

ZoneWatch& Watch() {
  static ZoneWatch watch = OpenZoneWatch();
  return watch;
}

// Makes the C library read the zone again even when TZ is set and unchanged: a TZ that names no
// file in between also clears its memory of the last file's inode and mtime.
void ReadZoneAgain() {
  const char* tz = std::getenv("TZ");
  const std::optional<std::string> saved = tz ? std::optional<std::string>(tz) : std::nullopt;
  setenv("TZ", "ZRV0", 1);  // a plain offset rule: UTC under a name no zone file has
  tzset();
  if (saved) setenv("TZ", saved->c_str(), 1);
  else unsetenv("TZ");
  tzset();
}

}  // namespace

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
  bool changed = false, rearm = false;
  epoll_event evs[2];
  for (int ready; (ready = epoll_wait(w.fd, evs, 2, 0)) > 0;) {
    // Reading the inotify side below is what empties it; mountinfo clears once polled.
    bool inotify = false;
    for (int i = 0; i < ready; ++i) inotify = inotify || (evs[i].events & EPOLLIN);
    if (!inotify) break;
    alignas(inotify_event) char buf[4096];
    const ssize_t n = read(w.notify, buf, sizeof buf);
    if (n <= 0) break;
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
  // After any wake, including a mount change: is the folder at the path still the one watched?
  struct stat st {};
  const bool present = stat(w.folder.c_str(), &st) == 0;
  if (rearm || w.wd < 0 || !present || st.st_dev != w.dev || st.st_ino != w.ino) {
    ArmFolder(w);
    changed = true;  // whatever happened to the folder, the file may now be another
  }
  if (changed) ReadZoneAgain();
  return changed;
}

}  // namespace x11

DateTime LocalNow() {
  timespec at{};
  return x11::LocalReading(at);
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
