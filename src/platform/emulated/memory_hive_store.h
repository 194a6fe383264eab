// A HiveStore kept in memory, for tests: the hive is a plain member, and the flags make Load or
// Save fail the way an unreadable file or a full disk would.
#pragma once
#include "platform/emulated/hive.h"

namespace plat {

class MemoryHiveStore : public HiveStore {
 public:
  bool Load(Hive& out) override {
    ++loads;
    if (updateDepth > 0) ++loadsInsideUpdate;
    if (failLoad) return false;
    out = hive;
    return true;
  }

  bool Save(const Hive& h) override {
    ++saves;
    if (updateDepth == 0) ++savesOutsideUpdate;
    if (failSave) return false;
    hive = h;
    return true;
  }

  void BeginUpdate() override {
    if (updateDepth++ == 0) ++updates;
  }
  void EndUpdate() override { --updateDepth; }

  bool failLoad = false, failSave = false;
  int loads = 0, saves = 0;  // calls made, failed ones included
  int updates = 0, updateDepth = 0, loadsInsideUpdate = 0, savesOutsideUpdate = 0;
  Hive hive;
};

}  // namespace plat
