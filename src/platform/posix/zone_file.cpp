#include "platform/posix/zone_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

namespace plat::posix {

std::string ZoneFilePath(const char* tz, const char* tzdir) {
  if (!tz) return "/etc/localtime";
  if (*tz == ':') ++tz;
  if (!*tz) return {};
  if (*tz == '/') return tz;
  return std::string(tzdir && *tzdir ? tzdir : "/usr/share/zoneinfo") + "/" + tz;
}

bool ZoneFileReadable(const std::string& path, std::string* why) {
  struct stat st;
  // stat() follows links: a link to a FIFO is as bad as the FIFO.
  if (path.empty() || stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return true;
  if (S_ISFIFO(st.st_mode)) *why = "a FIFO";
  else if (S_ISDIR(st.st_mode)) *why = "a folder";
  else if (S_ISSOCK(st.st_mode)) *why = "a socket";
  else *why = "a device";
  return false;
}

MountStep OnMountChange(std::int64_t lastLookNs, std::int64_t nowNs) {
  const bool lookNow = lastLookNs < 0 || nowNs - lastLookNs >= kMountLookGapNs;
  const std::int64_t from = lookNow ? nowNs : lastLookNs;
  return {lookNow, std::max<std::int64_t>(1, from + kMountLookGapNs - nowNs)};
}

}  // namespace plat::posix
