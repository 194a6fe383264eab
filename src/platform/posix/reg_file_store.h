// The settings hive as a .reg text file, so it can be read, edited and diffed by hand. Plain
// POSIX file handling; nothing here needs X11.
#pragma once
#include <sys/types.h>

#include <optional>
#include <set>
#include <string>

#include "platform/emulated/hive.h"

namespace plat {

class RegFileStore : public HiveStore {
 public:
  explicit RegFileStore(std::string path) : path_(std::move(path)) {}
  ~RegFileStore() override;
  RegFileStore(const RegFileStore&) = delete;
  RegFileStore& operator=(const RegFileStore&) = delete;

  // A missing file is an empty hive; a file that cannot be read or parsed fails. Only regular
  // files of at most kMaxFileBytes are read; a FIFO, a device or a link to one reads as
  // unreadable and never blocks.
  bool Load(Hive& out) override;
  // Changes the file where the hive differs from it and nowhere else (comments, encoding and line
  // ends stay), through "<path>.tmp", fsync and rename. A file that cannot be read is first moved
  // aside to "<path>.bad-YYYYMMDD-HHMMSS" so nothing the user wrote is lost.
  bool Save(const Hive& hive) override;
  // An flock() on "<folder>/.settings.lock" (0600, ours), so clocks on other displays wait for
  // each other's change. The wait is a glance (kLockGlanceMs): while the lock stays busy a save
  // keeps its changes in memory, a load sees them, and the first update that gets the lock (a
  // later change, or StorePending on a later pass of the event loop) stores them.
  void BeginUpdate() override;
  void EndUpdate() override;
  void StorePending() override;
  // Waits up to kLockAtExitMs for the lock, then stores; when it is still busy, one line on
  // stderr names every change that was not stored.
  void StoreBeforeExit() override;

  // Changes kept in memory for a later pass: the tests watch a busy lock by it.
  bool HasPending() const { return !pending_.keys.empty(); }

  static constexpr long kMaxFileBytes = 1 << 20;
  static constexpr int kLockGlanceMs = 50;
  // Long enough for another clock's write (milliseconds); short enough that closing the clock
  // does not look stuck.
  static constexpr int kLockAtExitMs = 2000;

 private:
  // Prints "zorvane: <message>" on stderr, once per cause for the life of the store. A message
  // names the cause and promises only what the next save can do.
  void Report(const std::string& cause, const std::string& message);
  // "settings not stored in <path>: <why>; ..." once per cause; always false.
  bool NotStored(const std::string& cause, const std::string& why);
  bool SaveFailed(const std::string& what, int error);
  // Why the file was not loaded, and whether the next save can replace it.
  void CannotRead(const std::string& why);

  // Save's steps, each false (or nothing) once it has said why it stopped.
  struct NewFile {
    std::string text;
    mode_t mode;   // the old file's, or 0600 for a new one
    bool keepOld;  // the file there cannot be read: moved aside, not overwritten
  };
  bool MakeRoom(const std::string& dir);
  std::optional<NewFile> NewText(const std::string& target, const Hive& hive);
  bool WriteTemporary(const std::string& tmp, const NewFile& file);
  bool PutInPlace(const std::string& tmp, const std::string& target, bool keepOld,
                  std::string* keptAs);

  // Takes the lock within `waitMs`; false when another process holds it all that time.
  bool Lock(int waitMs);
  // Stores the pending changes once the lock is taken within `waitMs`; false when it stayed busy.
  bool StorePendingWithin(int waitMs);

  std::string path_;
  int lockFd_ = -1;
  int updateDepth_ = 0;
  bool busy_ = false;   // this update runs without the lock, another process holding it
  Hive loaded_;         // what the busy update's load saw, to tell its changes from the file's
  Hive pending_;        // changes not stored yet, only the keys and values that changed
  // The pending changes create the file: a busy update made the key while no file was there (a
  // first start). Otherwise a missing file means the user removed it, and nothing is stored.
  bool pendingCreates_ = false;
  bool seen_ = false;  // the file was there once: its absence now means it was removed
  std::set<std::string> reported_;
};

// $XDG_CONFIG_HOME/zorvane/settings.reg, else ~/.config/zorvane/settings.reg; empty when no home
// directory can be found at all. Only absolute folders count: a relative HOME is passed over for
// the password database's.
std::string DefaultSettingsPath();

}  // namespace plat
