#include "platform/posix/lock_place.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

namespace plat::posix {
namespace {

bool IsLocalHost(const std::string& host, const std::string& hostname) {
  return host.empty() || host == "unix" || host == "localhost" || host == "127.0.0.1" ||
         host == "::1" || host == "[::1]" || (!hostname.empty() && host == hostname);
}

}  // namespace

std::string InstanceLockName(const std::string& title, const std::string& display,
                             const std::string& hostname) {
  std::string host, number;
  const auto colon = display.rfind(':');
  if (colon == std::string::npos) {
    // A socket path, "/tmp/.X11-unix/X3": the number is the digits after the last 'X'.
    const auto x = display.rfind('X');
    if (!display.empty() && display[0] == '/' && x != std::string::npos) {
      number = display.substr(x + 1);
    } else {
      host = display;  // no display number at all: keep it whole, it is its own name
    }
  } else {
    host = display.substr(0, colon);
    // "protocol/host": a local socket is named by protocol "unix" or "local", and a host that is
    // a path ("/private/tmp/.../org.xquartz") is a socket too.
    bool unixSocket = !host.empty() && host[0] == '/';
    if (auto slash = host.rfind('/'); !unixSocket && slash != std::string::npos) {
      unixSocket = host.compare(0, slash, "unix") == 0 || host.compare(0, slash, "local") == 0;
      host.erase(0, slash + 1);
    }
    if (unixSocket || IsLocalHost(host, hostname)) host.clear();
    number = display.substr(colon + 1);
  }
  // The display number as a number: ":01" and ":1" are one server; ".screen" does not matter.
  std::size_t digits = 0;
  while (digits < number.size() && std::isdigit(static_cast<unsigned char>(number[digits]))) ++digits;
  number.resize(digits);
  number.erase(0, std::min(number.find_first_not_of('0'), number.size() - (digits ? 1 : 0)));
  std::string name;
  for (char c : title) name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  name += "-";
  for (char c : host + ":" + number) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return name + ".lock";
}

bool IsPrivateFolder(const std::string& dir, uid_t uid, std::string* why) {
  struct stat st;
  if (lstat(dir.c_str(), &st) != 0) {
    *why = dir + ": " + std::strerror(errno);
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    *why = dir + " is not a folder";
  } else if (st.st_uid != uid) {
    *why = dir + " belongs to user " + std::to_string(st.st_uid);
  } else if (st.st_mode & 077) {
    *why = dir + " is open to other users";
  } else {
    return true;
  }
  return false;
}

std::string InstanceLockFolder(const std::string& home, const std::string& tmp, uid_t uid,
                               std::string* why) {
  // Not $XDG_CACHE_HOME or $XDG_RUNTIME_DIR: two copies started from different shells may see
  // them differently (set, unset, a link), and then each would lock a file of its own.
  if (!home.empty() && home[0] == '/') {
    const std::string cache = home + "/.cache", dir = cache + "/zorvane";
    // A missing ~/.cache is made private; one that is there keeps whatever mode the user gave it.
    if ((mkdir(cache.c_str(), 0700) == 0 || errno == EEXIST) &&
        (mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST)) {
      if (IsPrivateFolder(dir, uid, why)) return dir;
    } else {
      *why = dir + ": " + std::strerror(errno);
    }
  } else {
    *why = "no home folder";
  }
  const std::string first = *why;
  const std::string dir = tmp + "/zorvane-" + std::to_string(uid);
  if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
    *why = first + "; " + dir + ": " + std::strerror(errno);
    return {};
  }
  if (IsPrivateFolder(dir, uid, why)) return dir;
  *why = first + "; " + *why;
  return {};
}

int OpenPrivateLockFile(const std::string& path, std::string* why, int* openError) {
  *openError = 0;
  // O_NOFOLLOW: a link planted at the name fails (ELOOP) instead of being followed.
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
  struct stat st;
  if (fd < 0) {
    *openError = errno;
    if (errno == ELOOP) {
      *why = "it is a symbolic link";
    } else if (errno == EACCES && lstat(path.c_str(), &st) == 0 && st.st_uid != getuid()) {
      *why = "it belongs to user " + std::to_string(st.st_uid) + ": " + std::strerror(EACCES);
    } else {
      *why = std::strerror(*openError);
    }
    return -1;
  }
  if (fstat(fd, &st) != 0) {
    *why = std::strerror(errno);
  } else if (!S_ISREG(st.st_mode)) {
    *why = "it is not a regular file";
  } else if (st.st_uid != getuid()) {
    *why = "it belongs to user " + std::to_string(st.st_uid);
  } else if ((st.st_mode & 077) && fchmod(fd, 0600) != 0) {
    *why = std::string("it is open to other users (") + std::strerror(errno) + ")";
  } else {
    return fd;
  }
  close(fd);
  return -1;
}

}  // namespace plat::posix
