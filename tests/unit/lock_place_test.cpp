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

}  // namespace
}  // namespace plat::posix
