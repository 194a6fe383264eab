#include "platform/x11/reg_file_store.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace plat {
namespace {

constexpr mode_t kDirMode = 0700;
constexpr mode_t kFileMode = 0600;

// false with errno set when the file cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& out) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  out.clear();
  char buf[16384];
  while (true) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int saved = errno;
      close(fd);
      errno = saved;
      return false;
    }
    if (n == 0) break;
    out.append(buf, static_cast<std::size_t>(n));
  }
  close(fd);
  return true;
}

bool WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::string DirName(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// mkdir -p; directories it creates are private to the user.
bool MakeDirectories(const std::string& dir) {
  if (dir.empty() || IsDirectory(dir)) return true;
  for (std::size_t slash = dir.find('/', 1);; slash = dir.find('/', slash + 1)) {
    std::string part = dir.substr(0, slash);
    if (!part.empty() && mkdir(part.c_str(), kDirMode) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) break;
  }
  return IsDirectory(dir);
}

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

// Moves an unreadable settings file to "<path>.bad-YYYYMMDD-HHMMSS[-N]"; *keptAs is where.
bool KeepUnreadable(const std::string& path, std::string* keptAs) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  const std::string base = path + ".bad-" + stamp;
  for (int n = 0; n < 1000; ++n) {
    std::string candidate = n == 0 ? base : base + "-" + std::to_string(n);
    if (Exists(candidate)) continue;
    if (rename(path.c_str(), candidate.c_str()) != 0) return false;
    *keptAs = candidate;
    return true;
  }
  return false;
}

// Makes the rename itself durable. Best effort: by now the new file is in place, and some file
// systems refuse fsync on a directory.
void SyncDirectory(const std::string& dir) {
  int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

// The file a save really replaces: the target of a symlink (settings kept in a dotfiles
// repository stay linked), else the path itself.
std::string ResolveTarget(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char* real = realpath(path.c_str(), nullptr);
  if (!real) return path;
  std::string target = real;
  std::free(real);
  return target;
}

}  // namespace

bool RegFileStore::Load(Hive& out) {
  std::string text;
  if (!ReadWholeFile(path_, text)) {
    if (errno != ENOENT) return false;
    out = Hive();
    return true;
  }
  std::optional<Hive> hive = ParseRegFile(text);
  if (!hive) return false;
  out = std::move(*hive);
  return true;
}

bool RegFileStore::Save(const Hive& hive) {
  const std::string target = ResolveTarget(path_);
  const std::string dir = DirName(target);
  if (!MakeDirectories(dir)) return false;

  bool keepOld = false;
  struct stat st;
  if (stat(target.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) return false;
    std::string old;
    keepOld = !ReadWholeFile(target, old) || !ParseRegFile(old);
  } else if (errno != ENOENT) {
    return false;
  }

  std::string tmpl = dir + "/" + BaseName(target) + ".XXXXXX";
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  int fd = mkstemp(name.data());
  if (fd < 0) return false;
  const std::string tmp = name.data();
  bool ok = fchmod(fd, kFileMode) == 0 && WriteAll(fd, FormatRegFile(hive)) && fsync(fd) == 0;
  if (close(fd) != 0) ok = false;
  if (!ok) {
    unlink(tmp.c_str());
    return false;
  }

  // The unreadable file is moved aside only once the new one is safely written, and put back
  // if the final rename fails, so a failed save leaves the directory as it was.
  std::string keptAs;
  if (keepOld && !KeepUnreadable(target, &keptAs)) {
    unlink(tmp.c_str());
    return false;
  }
  if (rename(tmp.c_str(), target.c_str()) != 0) {
    unlink(tmp.c_str());
    if (!keptAs.empty()) rename(keptAs.c_str(), target.c_str());
    return false;
  }
  SyncDirectory(dir);
  if (!keptAs.empty()) {
    std::fprintf(stderr, "zorvane: settings file %s could not be read; it was kept as %s\n",
                 target.c_str(), keptAs.c_str());
  }
  return true;
}

std::string DefaultSettingsPath() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') return std::string(xdg) + "/zorvane/settings.reg";
  std::string home;
  if (const char* env = std::getenv("HOME"); env && env[0]) {
    home = env;
  } else if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir && pw->pw_dir[0]) {
    home = pw->pw_dir;
  } else {
    return {};
  }
  return home + "/.config/zorvane/settings.reg";
}

}  // namespace plat
