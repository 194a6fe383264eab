// The zone file the C library may read, and how mount changes are held off.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/posix/zone_file.h"
#include "temp_dir.h"

namespace plat::posix {
namespace {

namespace fs = std::filesystem;

class ZoneFile : public TempDirTest {};

// Only something other than a regular file stops the C library's read: a file that is not
// there, or a link to nothing, it reads as UTC on its own without waiting.
TEST_F(ZoneFile, OnlyARegularFileOrALinkToOneIsRead) {
  const fs::path zone = dir_ / "zone", fifo = dir_ / "fifo", folder = dir_ / "folder";
  std::ofstream(zone) << "TZif";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  fs::create_directory(folder);
  fs::create_symlink(zone, dir_ / "to-zone");
  fs::create_symlink(fifo, dir_ / "to-fifo");
  struct Row {
    fs::path path;
    const char* what;  // nullptr: readable
  };
  const Row rows[] = {
      {zone, nullptr},          {dir_ / "to-zone", nullptr}, {dir_ / "missing", nullptr},
      {"", nullptr},            {fifo, "a FIFO"},            {dir_ / "to-fifo", "a FIFO"},
      {folder, "a folder"},     {"/dev/null", "a device"},
  };
  for (const Row& r : rows) {
    std::string why;
    EXPECT_EQ(ZoneFileReadable(r.path.string(), &why), r.what == nullptr) << r.path;
    EXPECT_EQ(why, r.what ? r.what : "") << r.path;
  }
}

// A look at most once a second, and never a mount change left without a look after it.
TEST(MountChange, LooksAtMostOnceASecondAndHoldsTheRestOff) {
  constexpr std::int64_t kMs = 1'000'000;
  struct Row {
    std::int64_t lastLook, now;
    bool lookNow;
    std::int64_t holdNs;
  };
  const Row rows[] = {
      {-1, 5 * kMs, true, 1000 * kMs},           // the first change
      {0, 300 * kMs, false, 700 * kMs},          // within the second of the last look
      {1000 * kMs, 1999 * kMs, false, 1 * kMs},  // just before it ends
      {1000 * kMs, 2000 * kMs, true, 1000 * kMs},
      {0, 5000 * kMs, true, 1000 * kMs},
  };
  for (const Row& r : rows) {
    const MountStep step = OnMountChange(r.lastLook, r.now);
    EXPECT_EQ(step.lookNow, r.lookNow) << r.lastLook << " " << r.now;
    EXPECT_EQ(step.holdNs, r.holdNs) << r.lastLook << " " << r.now;
  }
}

}  // namespace
}  // namespace plat::posix
