// The single-instance lock on Linux: an flock()ed file per user and X display, in a folder no
// other user can make or plant anything in.
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
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
    // O_NOFOLLOW: a link planted at the name fails here (ELOOP) instead of being followed.
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    struct stat st;
    if (fd < 0 && errno == ELOOP) {
      why = path + " is a symbolic link";
    } else if (fd < 0 || fstat(fd, &st) != 0) {
      why = path + ": " + std::strerror(errno);
    } else if (!S_ISREG(st.st_mode)) {
      why = path + " is not a regular file";
    } else if (st.st_uid != uid) {
      why = path + " belongs to user " + std::to_string(st.st_uid);
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
    if (fd >= 0) close(fd);
  }
  std::fprintf(stderr, "zorvane: no safe place for the single-instance lock (%s); only the "
                       "window search keeps a second copy out\n", why.c_str());
  return true;
}

}  // namespace plat
