// The local clock and the locale's names of days and months.
//
// The C library reads the time zone once and keeps it; replacing /etc/localtime (as timedatectl
// does) goes unseen until it is told to read it again. An inotify watch on the zone file's
// folder says when that is worth doing, so the zone is read again only when it changed.
#include "platform/x11/x11_dates.h"

#include <iconv.h>
#include <langinfo.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
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
  int fd = -1;
  std::string name;  // the zone file's name within the watched folder
};

ZoneWatch OpenZoneWatch() {
  ZoneWatch w;
  const std::string path = ZoneFilePath();
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return w;
  w.name = path.substr(slash + 1);
  w.fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (w.fd < 0) return w;
  // A link replaced by rename arrives as MOVED_TO, `ln -sf` as DELETE then CREATE, a file
  // rewritten in place as CLOSE_WRITE.
  const std::string folder = slash == 0 ? "/" : path.substr(0, slash);
  if (inotify_add_watch(w.fd, folder.c_str(),
                        IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM | IN_CLOSE_WRITE |
                            IN_ONLYDIR) < 0) {
    close(w.fd);
    w.fd = -1;
  }
  return w;
}

ZoneWatch& Watch() {
  static ZoneWatch watch = OpenZoneWatch();
  return watch;
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
  bool changed = false;
  alignas(inotify_event) char buf[4096];
  for (;;) {
    const ssize_t n = read(w.fd, buf, sizeof buf);
    if (n <= 0) break;
    for (ssize_t i = 0; i < n;) {
      const auto* ev = reinterpret_cast<const inotify_event*>(buf + i);
      if ((ev->mask & IN_Q_OVERFLOW) || (ev->len > 0 && w.name == ev->name)) changed = true;
      i += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
    }
  }
  if (changed) tzset();  // reads the zone again when its file differs from the one it has
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
