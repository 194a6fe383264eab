#include "test_hive_store.h"

namespace plat {

MemoryHiveStore& TestHiveStore() {
  static MemoryHiveStore store;
  return store;
}

HiveStore& ActiveHiveStore() { return TestHiveStore(); }

}  // namespace plat
