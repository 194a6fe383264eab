#include "platform/posix/lock_place.h"

#include <sys/stat.h>

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

std::string InstanceLockName(const std::string& title, const std::string& display, int screen,
                             const std::string& hostname) {
  std::string server = display;
  if (auto colon = display.rfind(':'); colon != std::string::npos) {
    std::string host = display.substr(0, colon);
    // "protocol/host": a local socket is named by protocol "unix" or by no host at all.
    bool unixSocket = false;
    if (auto slash = host.rfind('/'); slash != std::string::npos) {
      unixSocket = host.compare(0, slash, "unix") == 0 || host.compare(0, slash, "local") == 0;
      host.erase(0, slash + 1);
    }
    std::size_t digits = colon + 1;
    while (digits < display.size() && std::isdigit(static_cast<unsigned char>(display[digits]))) ++digits;
    server = (unixSocket || IsLocalHost(host, hostname) ? std::string() : host) + ":" +
             display.substr(colon + 1, digits - colon - 1);
  }
  if (screen > 0) {
    server += '.';  // appended piecewise: GCC 12 -O3 warns (-Wrestrict, wrongly) on "." + s
    server += std::to_string(screen);
  }
  std::string name;
  for (char c : title) name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  name += "-";
  for (char c : server) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
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

std::string InstanceLockFolder(const char* runtimeDir, const std::string& tmp, uid_t uid,
                               std::string* why) {
  std::string ignored;
  if (runtimeDir && runtimeDir[0] == '/' && IsPrivateFolder(runtimeDir, uid, &ignored)) {
    return runtimeDir;
  }
  const std::string dir = tmp + "/zorvane-" + std::to_string(uid);
  if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
    *why = dir + ": " + std::strerror(errno);
    return {};
  }
  return IsPrivateFolder(dir, uid, why) ? dir : std::string();
}

}  // namespace plat::posix
