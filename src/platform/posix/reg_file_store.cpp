#include "platform/posix/reg_file_store.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

namespace plat {
namespace {

constexpr mode_t kDirMode = 0700;
constexpr mode_t kFileMode = 0600;

constexpr int kLockWaitMs = 2000;  // longer than any write takes; a holder this slow is stuck

enum class ReadResult { kRead, kAbsent, kUnreadable };

// Reads a regular file of at most RegFileStore::kMaxFileBytes. Anything else (a FIFO, a device, a
// link to one, a huge file) is unreadable, with `why` saying so; opening never blocks.
ReadResult ReadRegularFile(const std::string& path, std::string& out, std::string& why) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return ReadResult::kAbsent;
    why = std::strerror(errno);
    return ReadResult::kUnreadable;
  }
  if (!S_ISREG(st.st_mode)) {
    why = S_ISDIR(st.st_mode) ? "it is a folder" : "it is not a regular file";
    return ReadResult::kUnreadable;
  }
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return ReadResult::kAbsent;
    why = std::strerror(errno);
    return ReadResult::kUnreadable;
  }
  // Swapped for something else between the stat and the open: judge what was opened.
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    why = "it is not a regular file";
    return ReadResult::kUnreadable;
  }
  out.clear();
  char buf[16384];
  while (true) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      why = std::strerror(errno);
      close(fd);
      return ReadResult::kUnreadable;
    }
    if (n == 0) break;
    out.append(buf, static_cast<std::size_t>(n));
    if (out.size() > static_cast<std::size_t>(RegFileStore::kMaxFileBytes)) {
      close(fd);
      why = "it is larger than " + std::to_string(RegFileStore::kMaxFileBytes) + " bytes";
      return ReadResult::kUnreadable;
    }
  }
  close(fd);
  return ReadResult::kRead;
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

// The file a save really replaces: the target of a symlink to a regular file (settings kept in
// a dotfiles repository stay linked), else the path itself; a link to a device or a FIFO is
// moved aside, never what it points to.
std::string ResolveTarget(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return path;
  char* real = realpath(path.c_str(), nullptr);
  if (!real) return path;
  std::string target = real;
  std::free(real);
  return target;
}

}  // namespace

RegFileStore::~RegFileStore() {
  if (lockFd_ >= 0) close(lockFd_);
}

void RegFileStore::Report(const std::string& cause, const std::string& message) {
  if (reported_.insert(cause).second) std::fprintf(stderr, "zorvane: %s\n", message.c_str());
}

bool RegFileStore::SaveFailed(const std::string& what, int error) {
  Report("save " + std::to_string(error),
         "settings not stored in " + path_ + ": " + what + ": " + std::strerror(error) +
             "; the clock goes on with the value in memory");
  return false;
}

bool RegFileStore::Load(Hive& out) {
  std::string text, why;
  switch (ReadRegularFile(path_, text, why)) {
    case ReadResult::kAbsent:
      // The settings key lives in the file: with the file gone, so is the key, and a write to
      // it stores nothing (as Windows does for a deleted key) until the file is made again.
      if (seen_) {
        Report("removed", "settings file " + path_ +
                              " was removed while the clock ran; changes are not stored while it "
                              "is missing");
      }
      out = Hive();
      return true;
    case ReadResult::kUnreadable:
      seen_ = true;
      Report("load " + why, "settings file " + path_ + " cannot be read (" + why +
                                "); the clock starts without it and moves it aside at the next change");
      return false;
    case ReadResult::kRead:
      break;
  }
  seen_ = true;
  std::optional<Hive> hive = ParseRegFile(text, &why);
  if (!hive) {
    Report("parse", "settings file " + path_ + " cannot be read (" + why +
                        "); the clock starts without it and moves it aside at the next change");
    return false;
  }
  out = std::move(*hive);
  return true;
}

void RegFileStore::BeginUpdate() {
  if (updateDepth_++ > 0) return;
  const std::string dir = DirName(ResolveTarget(path_));
  // No folder yet: nothing to lock, and the first write creates it.
  lockFd_ = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (lockFd_ < 0) return;
  for (int waited = 0;; waited += 10) {
    if (flock(lockFd_, LOCK_EX | LOCK_NB) == 0) return;
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) {
      Report("lock " + std::to_string(errno), "the settings folder " + dir + " cannot be locked (" +
                                                  std::strerror(errno) + "); writing without");
      break;
    }
    if (waited >= kLockWaitMs) {
      Report("lock busy", "the settings folder " + dir + " stayed locked for " +
                              std::to_string(kLockWaitMs / 1000) + " s; writing without the lock");
      break;
    }
    timespec pause{0, 10'000'000};
    nanosleep(&pause, nullptr);
  }
  close(lockFd_);
  lockFd_ = -1;
}

void RegFileStore::EndUpdate() {
  if (updateDepth_ == 0 || --updateDepth_ > 0) return;
  if (lockFd_ >= 0) close(lockFd_);  // releases the flock
  lockFd_ = -1;
}

bool RegFileStore::Save(const Hive& hive) {
  const std::string target = ResolveTarget(path_);
  const std::string dir = DirName(target);
  if (!MakeDirectories(dir)) return SaveFailed("cannot make the folder " + dir, errno);

  std::optional<std::string> text;
  bool keepOld = false;
  mode_t mode = kFileMode;
  struct stat st, pointed;
  // A link to nothing reads as no file at all, and is replaced like one.
  const bool dangling = lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode) &&
                        stat(target.c_str(), &pointed) != 0 && errno == ENOENT;
  if (!dangling && lstat(target.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return SaveFailed("a folder stands in its place", EISDIR);
    std::string old, why;
    if (S_ISREG(st.st_mode) && ReadRegularFile(target, old, why) == ReadResult::kRead) {
      text = UpdateRegFile(old, hive);
      mode = st.st_mode & 07777;
    }
    keepOld = !text;
  } else if (errno != ENOENT) {
    return SaveFailed("cannot look at it", errno);
  }
  if (!text) text = FormatRegFile(hive);

  // One fixed name: a write killed half-way leaves at most this one file, and the next write,
  // holding the folder's lock, clears it away first.
  const std::string tmp = target + ".tmp";
  if (unlink(tmp.c_str()) != 0 && errno != ENOENT) return SaveFailed("cannot remove " + tmp, errno);
  int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kFileMode);
  if (fd < 0) return SaveFailed("cannot create " + tmp, errno);
  bool ok = fchmod(fd, mode) == 0 && WriteAll(fd, *text) && fsync(fd) == 0;
  int error = errno;
  if (close(fd) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    unlink(tmp.c_str());
    return SaveFailed("cannot write " + tmp, error);
  }

  // The unreadable file is moved aside only once the new one is safely written, and put back
  // if the final rename fails, so a failed save leaves the folder as it was.
  std::string keptAs;
  if (keepOld && !KeepUnreadable(target, &keptAs)) {
    error = errno;
    unlink(tmp.c_str());
    return SaveFailed("cannot move the unreadable file aside", error);
  }
  if (rename(tmp.c_str(), target.c_str()) != 0) {
    error = errno;
    unlink(tmp.c_str());
    if (!keptAs.empty()) rename(keptAs.c_str(), target.c_str());
    return SaveFailed("cannot rename " + tmp, error);
  }
  SyncDirectory(dir);
  seen_ = true;
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
