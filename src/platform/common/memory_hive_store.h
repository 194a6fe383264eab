// A HiveStore kept in memory, for tests: the hive is a plain member, and the flags make Load or
// Save fail the way an unreadable file or a full disk would.
#pragma once
#include "platform/common/hive.h"

namespace plat {

class MemoryHiveStore : public HiveStore {
 public:
  bool Load(Hive& out) override {
    ++loads;
    if (failLoad) return false;
    out = hive;
    return true;
  }

  bool Save(const Hive& h) override {
    ++saves;
    if (failSave) return false;
    hive = h;
    return true;
  }

  bool failLoad = false, failSave = false;
  int loads = 0, saves = 0;  // calls made, failed ones included
  Hive hive;
};

}  // namespace plat
