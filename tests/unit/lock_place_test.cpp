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
    int screen;
    const char* name;
  };
  const Case cases[] = {
      {":3", 0, "zorvane-_3.lock"},          {"unix:3", 0, "zorvane-_3.lock"},
      {":3.0", 0, "zorvane-_3.lock"},        {"localhost:3", 0, "zorvane-_3.lock"},
      {"unix/:3", 0, "zorvane-_3.lock"},     {"here:3.0", 0, "zorvane-_3.lock"},
      {"127.0.0.1:3", 0, "zorvane-_3.lock"}, {":3.1", 1, "zorvane-_3_1.lock"},
      {":13", 0, "zorvane-_13.lock"},        {"far:3", 0, "zorvane-far_3.lock"},
      {"tcp/far:3.2", 2, "zorvane-far_3_2.lock"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(InstanceLockName("Zorvane", c.display, c.screen, "here"), c.name) << c.display;
  }
}

class LockFolder : public TempDirTest {
 protected:
  std::string Mine() const { return dir_.string() + "/zorvane-" + std::to_string(getuid()); }
};

TEST_F(LockFolder, PrivateRuntimeFolderFirstElseAPrivateOneInTmp) {
  std::string why;
  const std::string runtime = (dir_ / "runtime").string();
  ASSERT_EQ(mkdir(runtime.c_str(), 0700), 0);
  EXPECT_EQ(InstanceLockFolder(runtime.c_str(), dir_.string(), getuid(), &why), runtime);
  EXPECT_FALSE(fs::exists(Mine()));

  ASSERT_EQ(chmod(runtime.c_str(), 0755), 0);  // open to others: not trusted
  for (const char* env : {runtime.c_str(), static_cast<const char*>(nullptr), "relative"}) {
    EXPECT_EQ(InstanceLockFolder(env, dir_.string(), getuid(), &why), Mine()) << why;
    struct stat st;
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
    EXPECT_EQ(InstanceLockFolder(nullptr, dir_.string(), getuid(), &why), "");
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
