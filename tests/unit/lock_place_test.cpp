// Where the single-instance lock lives and what it is called.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/posix/lock_place.h"
#include "temp_dir.h"

namespace plat::posix {
namespace {

namespace fs = std::filesystem;

TEST(InstanceLockName, EverySpellingOfOneDisplayGivesOneName) {
  struct Case {
    const char* display;
    const char* name;
  };
  const Case cases[] = {
      {":3", "zorvane-_3.lock"},          {":03", "zorvane-_3.lock"},
      {":003.0", "zorvane-_3.lock"},      {"unix:3", "zorvane-_3.lock"},
      {":3.1", "zorvane-_3.lock"},        {"localhost:3", "zorvane-_3.lock"},
      {"unix/:3", "zorvane-_3.lock"},     {"here:3.0", "zorvane-_3.lock"},
      {"127.0.0.1:3", "zorvane-_3.lock"}, {"/tmp/.X11-unix/X3", "zorvane-_3.lock"},
      {"/tmp/x/org.x:3", "zorvane-_3.lock"}, {":0", "zorvane-_0.lock"},
      {":00", "zorvane-_0.lock"},         {":13", "zorvane-_13.lock"},
      {":30", "zorvane-_30.lock"},        {"far:3", "zorvane-far_3.lock"},
      {"tcp/far:03.2", "zorvane-far_3.lock"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(InstanceLockName("Zorvane", c.display, "here"), c.name) << c.display;
  }
}

class LockFolder : public TempDirTest {
 protected:
  std::string Mine() const { return dir_.string() + "/zorvane-" + std::to_string(getuid()); }
};

TEST_F(LockFolder, ThePrivateCacheFolderInHomeElseAPrivateOneInTmp) {
  std::string why;
  const std::string home = (dir_ / "home").string(), mine = home + "/.cache/zorvane";
  ASSERT_EQ(mkdir(home.c_str(), 0755), 0);
  EXPECT_EQ(InstanceLockFolder(home, dir_.string(), getuid(), &why), mine) << why;
  EXPECT_FALSE(fs::exists(Mine()));
  struct stat st;
  ASSERT_EQ(lstat(mine.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  ASSERT_EQ(chmod(mine.c_str(), 0755), 0);  // open to others: not trusted
  for (const std::string& h : {home, std::string(), std::string("relative")}) {
    EXPECT_EQ(InstanceLockFolder(h, dir_.string(), getuid(), &why), Mine()) << why;
    ASSERT_EQ(lstat(Mine().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
  }
}

TEST_F(LockFolder, AFolderThatIsNotPrivatelyOursIsRefused) {
  struct Case {
    const char* label;
    void (*plant)(const std::string& mine, const fs::path& tmp);
    const char* why;
  };
  const Case cases[] = {
      {"open to others", [](const std::string& m, const fs::path&) { mkdir(m.c_str(), 0777); chmod(m.c_str(), 0777); },
       "is open to other users"},
      {"a link to a private folder",
       [](const std::string& m, const fs::path& t) {
         mkdir((t / "elsewhere").c_str(), 0700);
         symlink((t / "elsewhere").c_str(), m.c_str());
       },
       "is not a folder"},
      {"a file", [](const std::string& m, const fs::path&) { close(creat(m.c_str(), 0600)); },
       "is not a folder"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    fs::remove_all(Mine());
    c.plant(Mine(), dir_);
    std::string why;
    EXPECT_EQ(InstanceLockFolder("", dir_.string(), getuid(), &why), "");
    EXPECT_NE(why.find(c.why), std::string::npos) << why;
  }
  // Another user's folder, seen from our uid.
  fs::remove_all(Mine());
  ASSERT_EQ(mkdir(Mine().c_str(), 0700), 0);
  std::string why;
  EXPECT_FALSE(IsPrivateFolder(Mine(), getuid() + 1, &why));
  EXPECT_NE(why.find("belongs to user " + std::to_string(getuid())), std::string::npos) << why;
}

// What stands at a lock file's name decides whether it is used: only a regular file of ours,
// reached without a link, and never left open to others.
TEST_F(LockFolder, OnlyARegularFileOfOursServesAsALockFile) {
  struct Row {
    const char* what;
    void (*plant)(const std::string& path);
    const char* why;  // empty: usable
  } rows[] = {
      {"nothing", [](const std::string&) {}, ""},
      {"a file open to all",
       [](const std::string& p) {
         close(open(p.c_str(), O_CREAT | O_WRONLY, 0666));
         chmod(p.c_str(), 0666);
       },
       ""},
      {"a link", [](const std::string& p) { symlink("/etc/hostname", p.c_str()); }, "it is a symbolic link"},
      {"a FIFO", [](const std::string& p) { mkfifo(p.c_str(), 0600); }, "it is not a regular file"},
      {"a folder", [](const std::string& p) { mkdir(p.c_str(), 0700); }, "Is a directory"},
  };
  for (const Row& r : rows) {
    const std::string path = dir_.string() + "/lock-" + std::to_string(&r - rows);
    r.plant(path);
    std::string why;
    int openError = 0;
    const int fd = OpenPrivateLockFile(path, &why, &openError);
    EXPECT_EQ(why, r.why) << r.what;
    EXPECT_EQ(fd >= 0, *r.why == '\0') << r.what;
    struct stat st {};
    if (fd >= 0) {
      EXPECT_TRUE(fstat(fd, &st) == 0 && (st.st_mode & 0777) == 0600) << r.what;
      close(fd);
    }
  }
}

}  // namespace
}  // namespace plat::posix
