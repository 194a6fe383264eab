// The hive store the unit tests run the Reg* calls on.
#pragma once
#include "platform/common/memory_hive_store.h"

namespace plat {

// The same store ActiveHiveStore() hands out, so tests can prepare and inspect it.
MemoryHiveStore& TestHiveStore();

}  // namespace plat
