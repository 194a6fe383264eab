// The hive store the unit tests run the Reg* calls on: the null backend's.
#pragma once
#include "platform/emulated/memory_hive_store.h"
#include "platform/null/null_backend.h"

namespace plat {

// The same store ActiveHiveStore() hands out, so tests can fill it and look at it.
inline MemoryHiveStore& TestHiveStore() { return null::World().hive; }

}  // namespace plat
