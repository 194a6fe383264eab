#include "platform/posix/reg_file_store.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <vector>

#include "platform/posix/deadline.h"
#include "platform/posix/lock_place.h"

namespace plat {
namespace {

constexpr mode_t kDirMode = 0700;
constexpr mode_t kFileMode = 0600;


// kUnreachable: the path itself fails (a folder on the way cannot be entered or is no folder),
// so whether a file is there cannot be known. kUnreadable: a file is there but cannot be read.
enum class ReadResult { kRead, kAbsent, kUnreachable, kUnreadable };

// Said once per store, whichever of Load and Save meets the cause first.
const std::string kFolderInPlace = "folder in place";
const std::string kBlocked = "blocked: ";

// Reads a regular file of at most RegFileStore::kMaxFileBytes. Anything else (a FIFO, a device, a
// link to one, a huge file) is unreadable, with `why` saying so; opening never blocks.
ReadResult ReadRegularFile(const std::string& path, std::string& out, std::string& why) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return ReadResult::kAbsent;
    why = std::strerror(errno);
    return ReadResult::kUnreachable;
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

// mkdir -p; directories it creates are private to the user. On failure *failed is the folder
// that could not be made, and errno says why.
bool MakeDirectories(const std::string& dir, std::string* failed) {
  if (dir.empty() || IsDirectory(dir)) return true;
  for (std::size_t slash = dir.find('/', 1);; slash = dir.find('/', slash + 1)) {
    std::string part = dir.substr(0, slash);
    if (!part.empty() && mkdir(part.c_str(), kDirMode) != 0 && errno != EEXIST) {
      *failed = part;
      return false;
    }
    if (slash == std::string::npos) break;
  }
  if (IsDirectory(dir)) return true;
  *failed = dir;
  errno = ENOTDIR;
  return false;
}

// What keeps a new file from being written in `dir`, as words for a message: a folder on the way
// that cannot be entered or is no folder, a missing one that cannot be made, or `dir` not being
// writable. Empty when nothing does; a missing folder that can be made is no obstacle. access()
// asks as the real user, which is who the program runs as.
std::string WriteBlocker(const std::string& dir) {
  std::string reached = dir[0] == '/' ? "/" : ".";  // the deepest folder known to be there
  for (std::size_t slash = dir.find('/', 1);; slash = dir.find('/', slash + 1)) {
    const std::string folder = dir.substr(0, slash);
    struct stat st;
    if (stat(folder.c_str(), &st) != 0) {
      const int error = errno;
      // Looking into a folder needs its search permission: the one that lacks it is `reached`.
      if (error == EACCES) {
        return "the folder " + reached + " cannot be entered (" + std::strerror(error) + ")";
      }
      if (error != ENOENT) return folder + ": " + std::strerror(error);
      if (access(reached.c_str(), W_OK | X_OK) != 0) {
        return "the folder " + folder + " is missing and cannot be made (" + std::strerror(errno) + ")";
      }
      return {};
    }
    if (!S_ISDIR(st.st_mode)) return folder + " is not a folder";
    reached = folder;
    if (slash == std::string::npos) break;
  }
  if (access(dir.c_str(), W_OK | X_OK) != 0) {
    return "the folder " + dir + " is not writable (" + std::strerror(errno) + ")";
  }
  return {};
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

// Every key and value of `changes` set in `onto`.
void Overlay(Hive& onto, const Hive& changes) {
  for (const auto& entry : changes.keys) {
    HiveKey& key = onto.Create(KeyPathOf(entry));
    for (HiveValueIt it : OrderedValues(entry.second)) onto.Set(key, it->first, it->second);
  }
}

// Adds to `changes` the keys and values `after` holds and `before` does not hold alike. True
// when `after` holds a key `before` lacks.
bool AddChanges(Hive& changes, Hive before, const Hive& after) {
  bool newKey = false;
  for (const auto& entry : after.keys) {
    const HiveKey* old = before.Find(KeyPathOf(entry));
    if (!old) {
      changes.Create(KeyPathOf(entry));
      newKey = true;
    }
    for (HiveValueIt it : OrderedValues(entry.second)) {
      if (old) {
        auto was = old->values.find(it->first);
        if (was != old->values.end() && was->second == it->second) continue;
      }
      changes.Set(changes.Create(KeyPathOf(entry)), it->first, it->second);
    }
  }
  return newKey;
}

// The changes as the lines a .reg file holds them in, on one line: "[key] "name"=value ...".
std::string DescribeChanges(const Hive& changes) {
  const std::string text = FormatRegFile(changes);
  std::string out;
  std::size_t start = text.find('\n');  // past the header line
  while (start != std::string::npos && start + 1 < text.size()) {
    const std::size_t end = text.find('\n', start + 1);
    std::string line = text.substr(start + 1, end == std::string::npos ? end : end - start - 1);
    while (!line.empty() && (line.back() == '\\' || line.back() == ' ')) line.pop_back();
    while (!line.empty() && line.front() == ' ') line.erase(0, 1);
    if (!line.empty()) out += (out.empty() ? "" : " ") + line;
    start = end;
  }
  return out;
}

// flock(LOCK_EX) that gives up after `waitMs`: 0 when taken, EWOULDBLOCK when still busy then,
// else the error. A blocking flock() sleeps until the holder lets go; a SIGALRM timer, whose
// handler is installed without SA_RESTART, breaks it off (EINTR) at the deadline. The timer
// repeats every 10 ms after that, in case its first signal came before flock() began to wait.
// The program has one thread, so the signal reaches the waiting call; the old handler and timer
// are put back once the timer is stopped, by which time any signal of ours has been handled.
int FlockWithin(int fd, int waitMs) {
  while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK || waitMs <= 0) return errno;
    const posix::Deadline deadline = posix::Deadline::In(waitMs);
    struct sigaction wake {}, oldAction {};
    wake.sa_handler = [](int) {};
    sigemptyset(&wake.sa_mask);
    itimerval timer{}, oldTimer{};
    timer.it_value = {waitMs / 1000, (waitMs % 1000) * 1000};
    timer.it_interval = {0, 10'000};
    if (sigaction(SIGALRM, &wake, &oldAction) != 0) return errno;
    if (setitimer(ITIMER_REAL, &timer, &oldTimer) != 0) {
      const int error = errno;
      sigaction(SIGALRM, &oldAction, nullptr);
      return error;
    }
    int result = 0;
    while (flock(fd, LOCK_EX) != 0) {
      if (errno != EINTR) {
        result = errno;
        break;
      }
      if (deadline.Passed()) {
        result = EWOULDBLOCK;
        break;
      }
    }
    setitimer(ITIMER_REAL, &oldTimer, nullptr);
    sigaction(SIGALRM, &oldAction, nullptr);
    return result;
  }
  return 0;
}

}  // namespace

RegFileStore::~RegFileStore() {
  if (lockFd_ >= 0) close(lockFd_);
}

void RegFileStore::Report(const std::string& cause, const std::string& message) {
  if (reported_.insert(cause).second) std::fprintf(stderr, "zorvane: %s\n", message.c_str());
}

bool RegFileStore::NotStored(const std::string& cause, const std::string& why) {
  Report(cause, "settings not stored in " + path_ + ": " + why +
                    "; the clock goes on with the value in memory");
  return false;
}

bool RegFileStore::SaveFailed(const std::string& what, int error) {
  return NotStored("save " + std::to_string(error), what + ": " + std::strerror(error));
}

void RegFileStore::CannotRead(const std::string& why) {
  const std::string target = ResolveTarget(path_);
  const std::string file = "settings file " + path_;
  struct stat st;
  const bool there = lstat(target.c_str(), &st) == 0;
  if (there && S_ISDIR(st.st_mode)) {
    Report(kFolderInPlace, file + " is a folder, so settings are neither read from it nor stored "
                                  "in it; the clock runs without them");
    return;
  }
  // The same words as a save meets them, under the same cause, so the obstacle is named once.
  if (const std::string blocker = WriteBlocker(DirName(target)); !blocker.empty()) {
    Report(kBlocked + blocker, file + (there ? " cannot be read (" + why + ") or replaced: "
                                             : " cannot be read or stored: ") +
                                   blocker + "; the clock runs without it");
    return;
  }
  // A save moves aside whatever stands at the path (never a folder) before writing a fresh file.
  Report("load " + why, file + " cannot be read (" + why + "); the clock runs without it" +
                            (there ? " and moves it aside at the next change" : ""));
}

bool RegFileStore::Load(Hive& out) {
  std::string text, why;
  const ReadResult read = ReadRegularFile(path_, text, why);
  if (read == ReadResult::kAbsent) {
    // The settings key lives in the file: with the file gone, so is the key, and a write to it
    // stores nothing (as Windows does for a deleted key) until the file is made again.
    if (seen_) {
      Report("removed", "settings file " + path_ +
                            " was removed while the clock ran; changes are not stored while it "
                            "is missing");
    }
    out = Hive();
    Overlay(out, pending_);
    if (busy_) loaded_ = out;
    return true;
  }
  if (read != ReadResult::kUnreachable) seen_ = true;
  if (read == ReadResult::kRead) {
    if (std::optional<Hive> hive = ParseRegFile(text, &why)) {
      out = std::move(*hive);
      Overlay(out, pending_);  // what this clock changed and could not store yet
      if (busy_) loaded_ = out;
      return true;
    }
  }
  CannotRead(why);
  return false;
}

bool RegFileStore::Lock(int waitMs) {
  // A file only we can open: the folder itself (0755 by the usual umask) could be opened, and
  // flock()ed, by any user.
  const std::string file = DirName(ResolveTarget(path_)) + "/.settings.lock";
  std::string why;
  int openError = 0;
  lockFd_ = posix::OpenPrivateLockFile(file, &why, &openError);
  // No folder yet (the first write makes it), or one we cannot write in: nothing to lock, and
  // the write itself says what is wrong. But a lock file we may not open in a folder we may
  // write in (one left by a run under sudo) leaves the write to go on without the lock.
  if (openError == ENOENT || openError == EROFS) return true;
  if (openError == EACCES && !WriteBlocker(DirName(file)).empty()) return true;
  if (why.empty()) {
    const int error = FlockWithin(lockFd_, waitMs);
    if (error == 0) return true;
    if (error == EWOULDBLOCK) {
      close(lockFd_);
      lockFd_ = -1;
      return false;
    }
    why = std::strerror(error);
  }
  Report("lock " + why, "the settings lock " + file + " cannot be used (" + why +
                            "); writing without it");
  if (lockFd_ >= 0) close(lockFd_);
  lockFd_ = -1;
  return true;
}

void RegFileStore::BeginUpdate() {
  if (updateDepth_++ > 0 || path_.empty()) return;
  loaded_ = Hive();
  busy_ = !Lock(kLockGlanceMs);
}

void RegFileStore::EndUpdate() {
  if (updateDepth_ == 0 || --updateDepth_ > 0) return;
  if (lockFd_ >= 0) close(lockFd_);  // releases the flock
  lockFd_ = -1;
  busy_ = false;
}

void RegFileStore::StorePending() { StorePendingWithin(0); }

bool RegFileStore::StorePendingWithin(int waitMs) {
  if (pending_.keys.empty() || updateDepth_ > 0 || path_.empty()) return true;
  if (!Lock(waitMs)) return false;
  ++updateDepth_;
  Hive hive;
  // Loading puts the pending changes over what the file holds now. A file removed meanwhile
  // stays removed, as it does for a change made now, unless these changes are what makes it;
  // one that cannot be read is set aside.
  if (!Load(hive)) {
    hive = Hive();
    Overlay(hive, pending_);
  }
  if (Exists(path_) || pendingCreates_) Save(hive);
  pending_ = Hive();  // stored, or said why not
  pendingCreates_ = false;
  EndUpdate();
  return true;
}

void RegFileStore::StoreBeforeExit() {
  if (StorePendingWithin(kLockAtExitMs) || pending_.keys.empty()) return;
  std::fprintf(stderr,
               "zorvane: the settings lock in %s was still held by another process after %d s; "
               "these changes were not stored in %s: %s\n",
               DirName(ResolveTarget(path_)).c_str(), kLockAtExitMs / 1000, path_.c_str(),
               DescribeChanges(pending_).c_str());
}

// Whether the folder can take the file, making it when it is missing; false when not, said.
bool RegFileStore::MakeRoom(const std::string& dir) {
  if (const std::string blocker = WriteBlocker(dir); !blocker.empty()) {
    return NotStored(kBlocked + blocker, blocker);
  }
  std::string failed;
  if (!MakeDirectories(dir, &failed)) return SaveFailed("cannot make the folder " + failed, errno);
  return true;
}

// The file's new text: the old one changed where the hive differs, else a fresh one. A file
// that cannot be read is to be moved aside (keepOld). Nothing when it cannot be written, said.
std::optional<RegFileStore::NewFile> RegFileStore::NewText(const std::string& target,
                                                           const Hive& hive) {
  NewFile file{{}, kFileMode, false};
  std::optional<std::string> text;
  struct stat st, pointed;
  // A link to nothing reads as no file at all, and is replaced like one.
  const bool dangling = lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode) &&
                        stat(target.c_str(), &pointed) != 0 && errno == ENOENT;
  if (!dangling && lstat(target.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      NotStored(kFolderInPlace, "a folder stands in its place");
      return std::nullopt;
    }
    std::string old, why;
    if (S_ISREG(st.st_mode) && ReadRegularFile(target, old, why) == ReadResult::kRead) {
      text = UpdateRegFile(old, hive);
      file.mode = st.st_mode & 07777;
    }
    file.keepOld = !text;
  } else if (errno != ENOENT) {
    SaveFailed("cannot look at it", errno);
    return std::nullopt;
  }
  file.text = text ? std::move(*text) : FormatRegFile(hive);
  // Load refuses a file past the limit: writing one would lose every setting at the next start.
  if (file.text.size() > static_cast<std::size_t>(kMaxFileBytes)) {
    NotStored("too large", "with this change it would grow to " + std::to_string(file.text.size()) +
                               " bytes, more than the " + std::to_string(kMaxFileBytes) +
                               " it can be read back at");
    return std::nullopt;
  }
  return file;
}

// Writes the text to `tmp` and makes it durable; false when not, said and nothing left behind.
bool RegFileStore::WriteTemporary(const std::string& tmp, const NewFile& file) {
  // One fixed name: a write killed half-way leaves at most this one file, and the next write,
  // holding the settings lock, clears it away first.
  if (unlink(tmp.c_str()) != 0 && errno != ENOENT) return SaveFailed("cannot remove " + tmp, errno);
  int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kFileMode);
  if (fd < 0) return SaveFailed("cannot create " + tmp, errno);
  bool ok = fchmod(fd, file.mode) == 0 && WriteAll(fd, file.text) && fsync(fd) == 0;
  int error = errno;
  if (close(fd) != 0 && ok) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    unlink(tmp.c_str());
    return SaveFailed("cannot write " + tmp, error);
  }
  return true;
}

// Renames `tmp` over the target. The unreadable file is moved aside only now that the new one
// is safely written, and put back if the rename fails, so a failed save leaves the folder as it
// was. *keptAs is where the unreadable file went.
bool RegFileStore::PutInPlace(const std::string& tmp, const std::string& target, bool keepOld,
                              std::string* keptAs) {
  if (keepOld && !KeepUnreadable(target, keptAs)) {
    const int error = errno;
    unlink(tmp.c_str());
    return SaveFailed("cannot move the unreadable file aside", error);
  }
  if (rename(tmp.c_str(), target.c_str()) != 0) {
    const int error = errno;
    unlink(tmp.c_str());
    if (!keptAs->empty()) rename(keptAs->c_str(), target.c_str());
    return SaveFailed("cannot rename " + tmp, error);
  }
  return true;
}

bool RegFileStore::Save(const Hive& hive) {
  // Without a path the name would be "" and its temporary file ".tmp" in the working folder.
  if (path_.empty()) {
    Report("no path", "settings not stored: with no home folder and no XDG_CONFIG_HOME there is "
                      "no place for them; the clock goes on with the value in memory");
    return false;
  }
  if (busy_) {
    if (AddChanges(pending_, loaded_, hive) && !Exists(path_)) pendingCreates_ = true;
    Report("lock busy", "the settings lock in " + DirName(ResolveTarget(path_)) +
                            " is held by another process; changes are kept in memory and "
                            "stored once it is free");
    return true;
  }
  const std::string target = ResolveTarget(path_);
  const std::string dir = DirName(target);
  if (!MakeRoom(dir)) return false;
  const std::optional<NewFile> file = NewText(target, hive);
  if (!file) return false;
  const std::string tmp = target + ".tmp";
  std::string keptAs;
  if (!WriteTemporary(tmp, *file) || !PutInPlace(tmp, target, file->keepOld, &keptAs)) return false;
  SyncDirectory(dir);
  seen_ = true;
  pending_ = Hive();  // the hive saved was loaded with them
  pendingCreates_ = false;
  if (!keptAs.empty()) {
    // Why it could not be read was said when that was found; this says only where it went.
    std::fprintf(stderr, "zorvane: settings file %s was moved aside to %s and replaced\n",
                 target.c_str(), keptAs.c_str());
  }
  return true;
}

std::string DefaultSettingsPath() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') return std::string(xdg) + "/zorvane/settings.reg";
  std::string home;
  // A relative HOME ("HOME=rel") would put the settings under whatever folder the clock was
  // started in: it counts as none, as for the instance lock.
  if (const char* env = std::getenv("HOME"); env && env[0] == '/') {
    home = env;
  } else if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir && pw->pw_dir[0] == '/') {
    home = pw->pw_dir;
  } else {
    return {};
  }
  return home + "/.config/zorvane/settings.reg";
}

}  // namespace plat
