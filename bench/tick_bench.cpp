// One tick's tier update on the in-memory backend: the program's own cost of a pass, without a
// display. The counters say how many caption and position changes a pass hands to the native
// side; a pass in which nothing visible changes must hand over none.
#include <benchmark/benchmark.h>

#include "bench_main.h"
#include "platform/app.h"
#include "platform/null/null_backend.h"

namespace {

// Runs the timed loop, alternating between two readings (the same one twice for a pass that
// changes nothing), and reports the peer traffic per pass. Returns the total sent.
int RunTicks(benchmark::State& state, const plat::DateTime& a, const plat::DateTime& b) {
  plat::null::Reset();
  BenchMain clock;
  clock.Show();
  // Bring the labels to the state of reading b, so the first timed pass (reading a) already
  // pays the change from b to a, like every later one.
  clock.UpdateTiers(b);
  clock.UpdateTiers(a);
  clock.UpdateTiers(b);

  plat::null::State& s = plat::null::World();
  const int text0 = s.textSends, bounds0 = s.boundsSends;
  bool odd = false;
  for (auto _ : state) {
    clock.UpdateTiers(odd ? b : a);
    plat::DoEvents();  // a pass also handles messages; on this backend it only counts them
    odd = !odd;
  }
  state.counters["textSends"] =
      benchmark::Counter(s.textSends - text0, benchmark::Counter::kAvgIterations);
  state.counters["boundsSends"] =
      benchmark::Counter(s.boundsSends - bounds0, benchmark::Counter::kAvgIterations);
  return (s.textSends - text0) + (s.boundsSends - bounds0);
}

void BM_TickNothingChanges(benchmark::State& state) {
  if (RunTicks(state, bench_times::kNoon, bench_times::kNoon) != 0)
    state.SkipWithError("a pass with an unchanged reading sent something to the peers");
}
void BM_TickSecondChanges(benchmark::State& state) {
  RunTicks(state, bench_times::kNoon, bench_times::kNoonPlusOne);
}
void BM_TickAcrossMidnight(benchmark::State& state) {
  RunTicks(state, bench_times::kBeforeMidnight, bench_times::kAfterMidnight);
}

BENCHMARK(BM_TickNothingChanges);
BENCHMARK(BM_TickSecondChanges);
BENCHMARK(BM_TickAcrossMidnight);

}  // namespace

BENCHMARK_MAIN();
