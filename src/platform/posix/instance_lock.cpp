// The single-instance lock on Linux: an flock()ed file per user and X display, in a folder no
// other user can make or plant anything in.
#include <pwd.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
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
  const std::string file = posix::InstanceLockName(name, session.display, host);
  const uid_t uid = getuid();
  // The home folder from the password database, not $HOME: a copy started with another HOME is
  // still the same user on the same display. /tmp (never $TMPDIR, for the same reason) only serves
  // a user without a usable home.
  const passwd* pw = getpwuid(uid);
  std::string why;
  const std::string dir =
      posix::InstanceLockFolder(pw && pw->pw_dir ? pw->pw_dir : "", "/tmp", uid, &why);
  if (!dir.empty()) {
    const std::string path = dir + "/" + file;
    int openError = 0;
    const int fd = posix::OpenPrivateLockFile(path, &why, &openError);
    if (fd < 0) {
      why = path + ": " + why;
    } else if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
      return true;  // held until the process ends
    } else if (errno == EWOULDBLOCK) {
      close(fd);
      return false;
    } else {
      // The place is safe but the lock cannot be taken (no locks on this file system, say).
      std::fprintf(stderr,
                   "zorvane: the single-instance lock %s cannot be taken (%s); only the window "
                   "search keeps a second copy out\n",
                   path.c_str(), std::strerror(errno));
      close(fd);
      return true;
    }
  }
  std::fprintf(stderr, "zorvane: no safe place for the single-instance lock (%s); only the "
                       "window search keeps a second copy out\n", why.c_str());
  return true;
}

}  // namespace plat
