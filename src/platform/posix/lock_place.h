// Where the single-instance lock lives and what it is called: pure rules over the display name
// and the file system, kept apart from X11 so the unit tests can reach them.
#pragma once
#include <sys/types.h>

#include <string>

namespace plat::posix {

// One name for every spelling of one display: ":3", "unix:3", ":3.0" and "localhost:3" all give
// "zorvane-_3.lock"; another screen or a remote server gives its own ("zorvane-_3_1.lock",
// "zorvane-far_3.lock"). `screen` is the screen the connection uses; `hostname` is this machine's.
std::string InstanceLockName(const std::string& title, const std::string& display, int screen,
                             const std::string& hostname);

// True when `dir` is a real folder (not a link), owned by `uid` and closed to everybody else;
// otherwise false with `why` saying what is wrong.
bool IsPrivateFolder(const std::string& dir, uid_t uid, std::string* why);

// The folder for the lock: XDG_RUNTIME_DIR when it is private, else "<tmp>/zorvane-<uid>",
// created 0700 if missing. Empty, with `why`, when neither can be trusted.
std::string InstanceLockFolder(const char* runtimeDir, const std::string& tmp, uid_t uid,
                               std::string* why);

}  // namespace plat::posix
