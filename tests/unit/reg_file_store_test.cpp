// The settings file on disk: loading, atomic saving, and keeping a copy of a file we cannot read.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/emulated/hive.h"
#include "platform/registry.h"
#include "platform/posix/reg_file_store.h"
#include "temp_dir.h"

namespace plat {
namespace {

namespace fs = std::filesystem;

const std::string kZorvane = "HKEY_CURRENT_USER\\Software\\Zorvane";

RegValue Dword(std::uint32_t n) {
  return {kRegDword,
          {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
           static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 24)}};
}

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const fs::path& p, const std::string& text) {
  std::ofstream out(p, std::ios::binary);
  out << text;
}

std::vector<std::string> Entries(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

class RegFileStoreTest : public TempDirTest {};

TEST_F(RegFileStoreTest, MissingFileLoadsAsEmptyHive) {
  RegFileStore store((dir_ / "nowhere" / "settings.reg").string());
  Hive hive;
  hive.Create("HKEY_CURRENT_USER\\Leftover");
  EXPECT_TRUE(store.Load(hive));
  EXPECT_TRUE(hive.keys.empty());
  EXPECT_FALSE(fs::exists(dir_ / "nowhere"));
}

TEST_F(RegFileStoreTest, SaveCreatesPrivateDirectoriesAndFile) {
  const fs::path path = dir_ / "config" / "zorvane" / "settings.reg";
  RegFileStore store(path.string());
  Hive hive;
  hive.Set(hive.Create(kZorvane), "Format", Dword(1));
  ASSERT_TRUE(store.Save(hive));

  EXPECT_EQ(ReadFile(path),
            "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Zorvane]\n"
            "\"Format\"=dword:00000001\n\n");
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  for (const fs::path& d : {dir_ / "config", dir_ / "config" / "zorvane"}) {
    ASSERT_EQ(stat(d.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u) << d;
  }
  EXPECT_EQ(Entries(path.parent_path()), std::vector<std::string>{"settings.reg"});

  Hive loaded;
  ASSERT_TRUE(store.Load(loaded));
  EXPECT_TRUE(loaded == hive);
}

TEST_F(RegFileStoreTest, LoadModifySaveKeepsEverythingElse) {
  const fs::path path = dir_ / "settings.reg";
  const std::string original =
      "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_CURRENT_USER\\Software\\Other]\r\n\"Keep\"=\"me\"\r\n\r\n"
      "[HKEY_CURRENT_USER\\Software\\Zorvane]\r\n\"Zeta\"=dword:00000005\r\n"
      "\"Alpha\"=hex:01,02,\\\r\n  03\r\n";
  WriteFile(path, original);
  RegFileStore store(path.string());
  Hive hive;
  ASSERT_TRUE(store.Load(hive));
  hive.Set(*hive.Find(kZorvane), "zeta", Dword(6));
  hive.Set(*hive.Find(kZorvane), "New", Dword(7));
  ASSERT_TRUE(store.Save(hive));

  EXPECT_EQ(ReadFile(path),
            "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n"
            "[HKEY_CURRENT_USER\\Software\\Other]\r\n\"Keep\"=\"me\"\r\n\r\n"
            "[HKEY_CURRENT_USER\\Software\\Zorvane]\r\n\"Zeta\"=dword:00000006\r\n"
            "\"Alpha\"=hex:01,02,\\\r\n  03\r\n\"New\"=dword:00000007\r\n");
  Hive again;
  ASSERT_TRUE(store.Load(again));
  EXPECT_TRUE(again == hive);
}

TEST_F(RegFileStoreTest, UnreadableFileIsKeptBeforeBeingReplaced) {
  const fs::path path = dir_ / "settings.reg";
  const std::string broken = "Windows Registry Editor Version 5.00\n\n[K]\n\"A\"=dword:12\n";
  WriteFile(path, broken);
  RegFileStore store(path.string());
  Hive hive;
  EXPECT_FALSE(store.Load(hive));

  Hive fresh;
  fresh.Set(fresh.Create(kZorvane), "Format", Dword(2));
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    WriteFile(path, broken + std::to_string(round));
    ASSERT_TRUE(store.Save(fresh));
    EXPECT_EQ(ReadFile(path), FormatRegFile(fresh));
  }

  // Both broken versions are kept, the second one under a numbered name if the clock did not
  // tick between the saves.
  std::vector<std::string> kept;
  for (const std::string& name : Entries(dir_)) {
    if (name.rfind("settings.reg.bad-", 0) == 0) kept.push_back(name);
  }
  ASSERT_EQ(kept.size(), 2u);
  std::vector<std::string> contents;
  for (const std::string& name : kept) {
    const std::string stamp = name.substr(std::string("settings.reg.bad-").size(), 15);
    EXPECT_EQ(stamp.size(), 15u);
    EXPECT_EQ(stamp[8], '-') << name;
    EXPECT_EQ(stamp.find_first_not_of("0123456789-"), std::string::npos) << name;
    contents.push_back(ReadFile(dir_ / name));
  }
  std::sort(contents.begin(), contents.end());
  EXPECT_EQ(contents, (std::vector<std::string>{broken + "0", broken + "1"}));
  EXPECT_EQ(Entries(dir_).size(), 3u);  // no temporary file left behind
}

TEST_F(RegFileStoreTest, ReadOnlyDirectoryFailsAndLeavesOldFile) {
  if (geteuid() == 0) GTEST_SKIP() << "root ignores directory permissions";
  const fs::path sub = dir_ / "ro";
  const fs::path path = sub / "settings.reg";
  RegFileStore store(path.string());
  Hive first;
  first.Set(first.Create(kZorvane), "Format", Dword(1));
  ASSERT_TRUE(store.Save(first));
  const std::string before = ReadFile(path);

  ASSERT_EQ(chmod(sub.c_str(), 0500), 0);
  Hive second = first;
  second.Set(*second.Find(kZorvane), "Format", Dword(2));
  EXPECT_FALSE(store.Save(second));
  // A broken file cannot be moved aside either, and must stay where it is.
  const std::string broken = "not a settings file";
  ASSERT_EQ(chmod(sub.c_str(), 0700), 0);
  WriteFile(path, broken);
  ASSERT_EQ(chmod(sub.c_str(), 0500), 0);
  EXPECT_FALSE(store.Save(second));
  ASSERT_EQ(chmod(sub.c_str(), 0700), 0);

  EXPECT_EQ(ReadFile(path), broken);
  EXPECT_EQ(Entries(sub), std::vector<std::string>{"settings.reg"});
  EXPECT_NE(before, broken);
}

TEST_F(RegFileStoreTest, DirectoryInPlaceOfFileFailsAndSaysSoOnce) {
  const fs::path path = dir_ / "settings.reg";
  fs::create_directory(path);
  RegFileStore store(path.string());
  Hive hive;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(store.Load(hive));
  hive.Create(kZorvane);
  EXPECT_FALSE(store.Save(hive));
  EXPECT_FALSE(store.Load(hive));
  EXPECT_FALSE(store.Save(hive));
  // One cause, one line: the saves that fail on the same folder add nothing.
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "zorvane: settings file " + path.string() +
                " is a folder, so settings are neither read from it nor stored in it; the clock "
                "runs without them\n");
  EXPECT_TRUE(fs::is_directory(path));
  EXPECT_EQ(Entries(dir_), std::vector<std::string>{"settings.reg"});
}

// No home folder at all gives an empty path: nothing may land in the working folder as ".tmp".
TEST_F(RegFileStoreTest, EmptyPathStoresNothingAndSaysWhyOnce) {
  const fs::path was = fs::current_path();
  fs::current_path(dir_);
  RegFileStore store("");
  testing::internal::CaptureStderr();
  EXPECT_FALSE(store.Save(Hive()));
  EXPECT_FALSE(store.Save(Hive()));
  const std::string err = testing::internal::GetCapturedStderr();
  fs::current_path(was);
  EXPECT_EQ(err, "zorvane: settings not stored: with no home folder and no XDG_CONFIG_HOME there "
                 "is no place for them; the clock goes on with the value in memory\n");
  EXPECT_TRUE(Entries(dir_).empty());
}

TEST_F(RegFileStoreTest, SaveThroughSymlinkUpdatesTheTarget) {
  const fs::path target = dir_ / "dotfiles.reg";
  const fs::path link = dir_ / "settings.reg";
  WriteFile(target, "Windows Registry Editor Version 5.00\n\n");
  fs::create_symlink(target, link);
  RegFileStore store(link.string());
  Hive hive;
  hive.Set(hive.Create(kZorvane), "Format", Dword(3));
  ASSERT_TRUE(store.Save(hive));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadFile(target), FormatRegFile(hive));
}

// FIFOs, devices and huge files read as unreadable without blocking or filling memory; a save
// moves them (the link, never the device) aside and writes a fresh file.
TEST_F(RegFileStoreTest, OnlyRegularFilesOfBoundedSizeAreRead) {
  const fs::path path = dir_ / "settings.reg";
  const std::string huge = "Windows Registry Editor Version 5.00\n\n" +
                           std::string(RegFileStore::kMaxFileBytes, ';') + "\n";
  struct Case {
    const char* label;
    std::function<void()> make;
  };
  const Case cases[] = {
      {"FIFO", [&] { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); }},
      {"link to /dev/zero", [&] { fs::create_symlink("/dev/zero", path); }},
      {"link to nowhere", [&] { fs::create_symlink(dir_ / "nowhere", path); }},
      {"file over the size cap", [&] { WriteFile(path, huge); }},
  };
  Hive fresh;
  fresh.Set(fresh.Create(kZorvane), "Format", Dword(1));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    fs::remove_all(dir_);
    fs::create_directory(dir_);
    c.make();
    RegFileStore store(path.string());
    Hive hive;
    testing::internal::CaptureStderr();
    EXPECT_EQ(store.Load(hive), std::string(c.label) == "link to nowhere");
    EXPECT_TRUE(store.Save(fresh));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(ReadFile(path), FormatRegFile(fresh));
    std::vector<std::string> names = Entries(dir_);
    ASSERT_EQ(names.size(), std::string(c.label) == "link to nowhere" ? 1u : 2u);
    if (names.size() == 2) {
      EXPECT_EQ(names[1].rfind("settings.reg.bad-", 0), 0u) << names[1];
    }
  }
  EXPECT_TRUE(fs::is_character_file("/dev/zero"));
}

// A write killed half-way leaves one temporary file at most, and the next write clears it.
TEST_F(RegFileStoreTest, LeftoverTemporaryFileIsRemovedByTheNextWrite) {
  const fs::path path = dir_ / "settings.reg";
  WriteFile(dir_ / "settings.reg.tmp", "half a file");
  RegFileStore store(path.string());
  Hive hive;
  hive.Set(hive.Create(kZorvane), "Format", Dword(1));
  ASSERT_TRUE(store.Save(hive));
  EXPECT_EQ(Entries(dir_), std::vector<std::string>{"settings.reg"});
  EXPECT_EQ(ReadFile(path), FormatRegFile(hive));
}

// Two processes each change their own value many times over; with the folder locked from load
// to save, neither change is ever lost.
TEST_F(RegFileStoreTest, TwoWritersKeepEachOthersChanges) {
  const fs::path path = dir_ / "settings.reg";
  RegFileStore(path.string()).Save([] {
    Hive h;
    h.Create(kZorvane);
    return h;
  }());
  constexpr int kRounds = 150;
  auto writer = [&](const char* name) {
    RegFileStore store(path.string());
    for (int i = 1; i <= kRounds; ++i) {
      store.BeginUpdate();
      Hive hive;
      bool ok = store.Load(hive);
      hive.Set(hive.Create(kZorvane), name, Dword(static_cast<std::uint32_t>(i)));
      ok = ok && store.Save(hive);
      store.EndUpdate();
      if (!ok) _exit(1);
    }
    // A round that found the lock busy kept its change in memory for a later pass.
    for (int tries = 0; store.HasPending() && tries < 500; ++tries) {
      usleep(10'000);
      store.StorePending();
    }
    _exit(store.HasPending() ? 2 : 0);
  };
  pid_t a = fork();
  if (a == 0) writer("Format");
  pid_t b = fork();
  if (b == 0) writer("Mark");
  int statusA = -1, statusB = -1;
  waitpid(a, &statusA, 0);
  waitpid(b, &statusB, 0);
  EXPECT_EQ(statusA, 0);
  EXPECT_EQ(statusB, 0);
  Hive hive;
  ASSERT_TRUE(RegFileStore(path.string()).Load(hive));
  ASSERT_NE(hive.Find(kZorvane), nullptr);
  const auto& values = hive.Find(kZorvane)->values;
  ASSERT_TRUE(values.count("Format") && values.count("Mark")) << ReadFile(path);
  EXPECT_EQ(values.at("Format"), Dword(kRounds));
  EXPECT_EQ(values.at("Mark"), Dword(kRounds));
  EXPECT_EQ(Entries(dir_), (std::vector<std::string>{".settings.lock", "settings.reg"}));
}

// Sets or clears an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(DefaultSettingsPath, FollowsXdgConfigHomeThenHome) {
  struct Case {
    const char* xdg;
    const char* home;
    std::string expected;
  };
  const Case cases[] = {
      {"/cfg/xdg", "/home/ann", "/cfg/xdg/zorvane/settings.reg"},
      {nullptr, "/home/ann", "/home/ann/.config/zorvane/settings.reg"},
      {"", "/home/ann", "/home/ann/.config/zorvane/settings.reg"},
      {"relative/cfg", "/home/bob", "/home/bob/.config/zorvane/settings.reg"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.xdg ? c.xdg : "(unset)");
    ScopedEnv xdg("XDG_CONFIG_HOME", c.xdg);
    ScopedEnv home("HOME", c.home);
    EXPECT_EQ(DefaultSettingsPath(), c.expected);
  }
}

// No HOME, an empty one or a relative one (never the working folder's "rel/.config").
TEST(DefaultSettingsPath, WithoutHomeUsesThePasswordDatabase) {
  ScopedEnv xdg("XDG_CONFIG_HOME", nullptr);
  std::string path;
  {
    ScopedEnv home("HOME", nullptr);
    path = DefaultSettingsPath();
  }
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path.front(), '/');
  const std::string suffix = "/.config/zorvane/settings.reg";
  ASSERT_GT(path.size(), suffix.size());
  EXPECT_EQ(path.substr(path.size() - suffix.size()), suffix);
  for (const char* value : {"", "rel", "rel/home", "./home"}) {
    ScopedEnv home("HOME", value);
    EXPECT_EQ(DefaultSettingsPath(), path) << "HOME=" << value;
  }
}

}  // namespace
}  // namespace plat
