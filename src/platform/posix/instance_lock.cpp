// The single-instance lock on Linux: an flock()ed file per user and X display.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/instance_lock.h"
#include "platform/x11/x11_internal.h"

namespace plat {

bool ClaimSingleInstance(const std::string& name) {
  // One copy per user and X display, as Windows allows one per session.
  std::string display = DisplayString(x11::X().dpy);
  if (auto colon = display.rfind(':'); colon != std::string::npos) {
    if (auto dot = display.find('.', colon); dot != std::string::npos) display.resize(dot);
  }
  for (char& c : display)
    if (!isalnum(static_cast<unsigned char>(c))) c = '_';
  std::string dir;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  struct stat st {};
  if (runtime && runtime[0] == '/' && stat(runtime, &st) == 0 && S_ISDIR(st.st_mode))
    dir = std::string(runtime) + "/";
  else
    dir = "/tmp/" + std::to_string(getuid()) + "-";
  std::string lower;
  for (char c : name) lower += static_cast<char>(tolower(static_cast<unsigned char>(c)));
  std::string path = dir + lower + "-" + display + ".lock";
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return true;  // no place for a lock: the window search alone decides
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) return true;  // held until the process ends
  bool busy = errno == EWOULDBLOCK;
  close(fd);
  return !busy;
}

}  // namespace plat
