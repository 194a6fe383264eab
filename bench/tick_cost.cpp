#include "tick_cost.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "bench_main.h"
#include "platform/null/null_backend.h"

namespace {

constexpr int kPassesPerRound = 20000;
constexpr int kRounds = 7;

// Nanoseconds per pass, alternating readings a and b (the same twice: nothing changes).
double RoundNs(BenchMain& clock, const plat::DateTime& a, const plat::DateTime& b) {
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kPassesPerRound; ++i) {
    clock.UpdateTiers((i & 1) ? b : a);
    plat::DoEvents();
  }
  const auto end = std::chrono::steady_clock::now();
  return std::chrono::duration<double, std::nano>(end - start).count() / kPassesPerRound;
}

void Measure(const char* name, const plat::DateTime& a, const plat::DateTime& b) {
  plat::null::Reset();
  BenchMain clock;
  clock.Show();
  clock.UpdateTiers(b);  // warm: the first timed pass pays the change from b to a
  std::vector<double> ns;
  for (int r = 0; r < kRounds; ++r) ns.push_back(RoundNs(clock, a, b));
  std::sort(ns.begin(), ns.end());
  std::printf("%-22s %10.0f ns/pass (median of %d rounds of %d)\n", name, ns[kRounds / 2], kRounds,
              kPassesPerRound);
}

}  // namespace

int RunTickCost() {
  Measure("nothing changes", bench_times::kNoon, bench_times::kNoon);
  Measure("the second changes", bench_times::kNoon, bench_times::kNoonPlusOne);
  Measure("across midnight", bench_times::kBeforeMidnight, bench_times::kAfterMidnight);
  return 0;
}
