// The settings hive as a .reg text file, so it can be read, edited and diffed by hand. Plain
// POSIX file handling; nothing here needs X11.
#pragma once
#include <string>

#include "platform/common/hive.h"

namespace plat {

class RegFileStore : public HiveStore {
 public:
  explicit RegFileStore(std::string path) : path_(std::move(path)) {}

  // A missing file is an empty hive; a file that cannot be read or parsed fails.
  bool Load(Hive& out) override;
  // Replaces the file atomically (temporary file, fsync, rename). A file that does not parse is
  // first moved aside to "<path>.bad-YYYYMMDD-HHMMSS" so nothing the user wrote is lost.
  bool Save(const Hive& hive) override;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// $XDG_CONFIG_HOME/zorvane/settings.reg, else ~/.config/zorvane/settings.reg; empty when no home
// directory can be found at all.
std::string DefaultSettingsPath();

}  // namespace plat
