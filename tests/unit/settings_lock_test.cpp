// The settings file's lock: changes kept while another process holds it, and a lock file that
// cannot be used.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/emulated/hive.h"
#include "platform/posix/reg_file_store.h"
#include "platform/registry.h"
#include "temp_dir.h"

namespace plat {
namespace {

namespace fs = std::filesystem;

const std::string kZorvane = "HKEY_CURRENT_USER\\Software\\Zorvane";

RegValue Dword(std::uint8_t n) { return {kRegDword, {n, 0, 0, 0}}; }

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string FileWithFormat(std::uint8_t format) {
  Hive hive;
  hive.Set(hive.Create(kZorvane), "Format", Dword(format));
  return FormatRegFile(hive);
}

// One change through the store as the Reg* calls make it: the key made, or "Format" set.
void Change(RegFileStore& store, bool createKey, std::uint8_t format = 0) {
  store.BeginUpdate();
  Hive hive;
  ASSERT_TRUE(store.Load(hive));
  HiveKey& key = hive.Create(kZorvane);
  if (!createKey) hive.Set(key, "Format", Dword(format));
  EXPECT_TRUE(store.Save(hive));
  store.EndUpdate();
}

// The lock held by another open of the lock file, as a stuck clock of the same user holds it
// (flock() locks belong to the open, so this process's own store waits for it too). With
// `releaseAfterMs`, a child holds it and lets go after that long; -1 holds it until destroyed.
class LockHolder {
 public:
  LockHolder(const fs::path& lock, int releaseAfterMs) {
    if (releaseAfterMs < 0) {
      fd_ = open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
      EXPECT_EQ(flock(fd_, LOCK_EX | LOCK_NB), 0);
      return;
    }
    int ready[2];
    EXPECT_EQ(pipe(ready), 0);
    child_ = fork();
    if (child_ == 0) {
      const int fd = open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
      if (flock(fd, LOCK_EX | LOCK_NB) != 0) _exit(1);
      (void)!write(ready[1], "x", 1);
      usleep(static_cast<useconds_t>(releaseAfterMs) * 1000);
      _exit(0);
    }
    close(ready[1]);
    char c = 0;
    EXPECT_EQ(read(ready[0], &c, 1), 1) << "the child did not take the lock";
    close(ready[0]);
  }
  ~LockHolder() { Release(); }
  void Release() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    if (child_ > 0) waitpid(child_, nullptr, 0);
    child_ = -1;
  }

 private:
  int fd_ = -1;
  pid_t child_ = -1;
};

class SettingsLockTest : public TempDirTest {
 protected:
  fs::path Path() const { return dir_ / "settings.reg"; }
  fs::path Lock() const { return dir_ / ".settings.lock"; }
};

// A change kept in memory while the lock is busy is stored when the program ends, if the lock
// comes free within the wait; otherwise one line names what was not stored.
TEST_F(SettingsLockTest, AKeptChangeIsStoredAtExitOrNamed) {
  struct Row {
    const char* label;
    int releaseAfterMs;  // -1: held past the end of the wait
    std::uint8_t stored;
    bool named;
  };
  const Row rows[] = {
      {"freed during the wait", 300, 0, false},
      {"held past the wait", -1, 1, true},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.label);
    std::ofstream(Path(), std::ios::binary) << FileWithFormat(1);
    RegFileStore store(Path().string());
    LockHolder holder(Lock(), r.releaseAfterMs);
    testing::internal::CaptureStderr();
    Change(store, false, 0);
    ASSERT_TRUE(store.HasPending());
    EXPECT_EQ(ReadFile(Path()), FileWithFormat(1));
    store.StoreBeforeExit();
    const std::string err = testing::internal::GetCapturedStderr();
    holder.Release();
    EXPECT_EQ(ReadFile(Path()), FileWithFormat(r.stored));
    const std::string line = "zorvane: the settings lock in " + dir_.string() +
                             " was still held by another process after 2 s; these changes were "
                             "not stored in " + Path().string() +
                             ": [HKEY_CURRENT_USER\\Software\\Zorvane] \"Format\"=dword:00000000\n";
    EXPECT_EQ(err.find(line) != std::string::npos, r.named) << err;
  }
}

// The key made while the lock is busy and no file is there (a first start, the file deleted to
// reset the clock) is stored once the lock is free. A file removed by the user while the clock
// runs stays removed, as it does for a change made with the lock free.
TEST_F(SettingsLockTest, APendingCreationMakesTheFile) {
  struct Row {
    const char* label;
    bool fileAtStart;
    bool expectFile;
  };
  const Row rows[] = {
      {"first start, no file", false, true},
      {"file removed while running", true, false},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.label);
    fs::remove(Path());
    if (r.fileAtStart) std::ofstream(Path(), std::ios::binary) << FileWithFormat(1);
    RegFileStore store(Path().string());
    Hive first;
    ASSERT_TRUE(store.Load(first));
    {
      LockHolder holder(Lock(), -1);
      testing::internal::CaptureStderr();
      if (r.fileAtStart) {
        Change(store, false, 0);
        fs::remove(Path());
      } else {
        Change(store, true);
        Change(store, false, 0);
      }
      ASSERT_TRUE(store.HasPending());
      store.StorePending();  // still busy: kept
      EXPECT_TRUE(store.HasPending());
    }
    store.StorePending();
    testing::internal::GetCapturedStderr();
    EXPECT_FALSE(store.HasPending());
    EXPECT_EQ(fs::exists(Path()), r.expectFile);
    if (r.expectFile) {
      EXPECT_EQ(ReadFile(Path()), FileWithFormat(0));
    }
  }
}

// A lock file the user may not open, in a folder the user may write in (left behind by a run
// under sudo): the change is stored without the lock, and that is said once.
TEST_F(SettingsLockTest, ALockFileNotOursToOpenIsNamedOnce) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to leave a lock file of root's behind";
  constexpr uid_t kNobody = 65534;
  const fs::path folder = dir_ / "zorvane";
  ASSERT_EQ(chmod(dir_.c_str(), 0755), 0);
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  const fs::path lock = folder / ".settings.lock", path = folder / "settings.reg";
  close(open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  ASSERT_EQ(chown(folder.c_str(), kNobody, kNobody), 0);
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  const pid_t child = fork();
  if (child == 0) {
    dup2(out[1], STDERR_FILENO);
    if (setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(3);
    RegFileStore store(path.string());
    for (std::uint8_t format : {0, 1}) {
      store.BeginUpdate();
      Hive hive;
      hive.Set(hive.Create(kZorvane), "Format", Dword(format));
      const bool saved = store.Save(hive);
      store.EndUpdate();
      if (!saved) _exit(2);
    }
    _exit(0);
  }
  close(out[1]);
  std::string err;
  char buf[512];
  for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;) err.append(buf, static_cast<std::size_t>(n));
  close(out[0]);
  int status = -1;
  waitpid(child, &status, 0);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(ReadFile(path), FileWithFormat(1));
  EXPECT_EQ(err, "zorvane: the settings lock " + lock.string() +
                     " cannot be used (it belongs to user 0: Permission denied); writing without "
                     "it\n");
}

}  // namespace
}  // namespace plat
