// The single-instance lock on Linux: an flock()ed file per user and X display, in a folder no
// other user can plant anything in.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/instance_lock.h"
#include "platform/posix/lock_place.h"
#include "platform/posix/session.h"

namespace plat {

bool ClaimSingleInstance(const std::string& name) {
  // One copy per user and X display, as Windows allows one per session.
  const posix::Session session = posix::CurrentSession();
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) != 0) host[0] = '\0';
  const std::string file = posix::InstanceLockName(name, session.display, session.screen, host);
  const uid_t uid = getuid();
  const char* tmp = std::getenv("TMPDIR");
  std::string why;
  const std::string dir = posix::InstanceLockFolder(
      std::getenv("XDG_RUNTIME_DIR"), tmp && tmp[0] == '/' ? tmp : "/tmp", uid, &why);
  if (!dir.empty()) {
    const std::string path = dir + "/" + file;
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    struct stat st;
    if (fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == uid) {
      if (flock(fd, LOCK_EX | LOCK_NB) == 0) return true;  // held until the process ends
      bool busy = errno == EWOULDBLOCK;
      close(fd);
      return !busy;
    }
    why = fd < 0 ? path + " cannot be opened" : path + " is not a file of this user";
    if (fd >= 0) close(fd);
  }
  std::fprintf(stderr, "zorvane: no safe place for the single-instance lock (%s); only the "
                       "window search keeps a second copy out\n", why.c_str());
  return true;
}

}  // namespace plat
