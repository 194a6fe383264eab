// Where the single-instance lock lives and what it is called, and the private lock files it and
// the settings take: rules over the display name and the file system, kept apart from X11 so the
// unit tests can reach them.
#pragma once
#include <sys/types.h>

#include <string>

namespace plat::posix {

// One name for every spelling of one display: ":3", ":03", "unix:3", ":3.1", "localhost:3" and
// the socket path "/tmp/.X11-unix/X3" all give "zorvane-_3.lock". The display number counts as a
// number and the screen not at all (one clock per display, whichever screen it shows on); a
// remote server gives its own name ("zorvane-far_3.lock"). `hostname` is this machine's.
std::string InstanceLockName(const std::string& title, const std::string& display,
                             const std::string& hostname);

// True when `dir` is a real folder (not a link), owned by `uid` and closed to everybody else;
// otherwise false with `why` saying what is wrong.
bool IsPrivateFolder(const std::string& dir, uid_t uid, std::string* why);

// The folder for the lock: "<home>/.cache/zorvane", created 0700 if missing, where `home` is the
// user's home from the password database. Every copy of one user finds the same folder there,
// whatever its environment says, and no other user can make it first. Only when the home folder
// cannot hold it (none, read-only, not ours) "<tmp>/zorvane-<uid>" serves. Empty, with `why`
// naming both, when neither can be trusted.
std::string InstanceLockFolder(const std::string& home, const std::string& tmp, uid_t uid,
                               std::string* why);

// Opens (creating it 0600) a lock file only this user can hold: not through a link, a regular
// file of ours, its mode narrowed to 0600 if it was wider. The descriptor, or -1 with `why`
// saying what is wrong ("it is a symbolic link", "it belongs to user 0: ...") and `openError` the
// errno of an open that failed (0 when the open itself worked).
int OpenPrivateLockFile(const std::string& path, std::string* why, int* openError);

}  // namespace plat::posix
