// One tick's tier update on a real X display: the program's work plus the X server's. Each pass
// ends with a round trip (XSync), handles the events it caused (exposures after label moves
// repaint), and waits for the server once more, so the wall time of a pass includes the
// server's drawing. Iteration counts follow wall time for that reason.
#include <X11/Xlib.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "bench_main.h"
#include "platform/app.h"
#include "platform/x11/x11_internal.h"

namespace {

void RunTicks(benchmark::State& state, const plat::DateTime& a, const plat::DateTime& b) {
  Display* dpy = plat::x11::Server().dpy;
  BenchMain clock;
  clock.Show();
  // Let the window map and paint, and bring the labels to reading b so every timed pass pays
  // a full change (or none, when a == b).
  clock.UpdateTiers(b);
  clock.UpdateTiers(a);
  clock.UpdateTiers(b);
  XSync(dpy, False);
  plat::DoEvents();
  XSync(dpy, False);

  long requests0 = static_cast<long>(NextRequest(dpy));
  bool odd = false;
  for (auto _ : state) {
    clock.UpdateTiers(odd ? b : a);
    XSync(dpy, False);
    plat::DoEvents();
    XSync(dpy, False);
    odd = !odd;
  }
  // X requests a pass sends, the two round trips included; NextRequest wraps only after
  // 2^32 requests on 32-bit longs, far beyond a benchmark run.
  state.counters["xRequests"] = benchmark::Counter(
      static_cast<double>(static_cast<long>(NextRequest(dpy)) - requests0),
      benchmark::Counter::kAvgIterations);
}

void BM_X11TickNothingChanges(benchmark::State& state) {
  RunTicks(state, bench_times::kNoon, bench_times::kNoon);
}
void BM_X11TickSecondChanges(benchmark::State& state) {
  RunTicks(state, bench_times::kNoon, bench_times::kNoonPlusOne);
}
void BM_X11TickAcrossMidnight(benchmark::State& state) {
  RunTicks(state, bench_times::kBeforeMidnight, bench_times::kAfterMidnight);
}

BENCHMARK(BM_X11TickNothingChanges)->UseRealTime();
BENCHMARK(BM_X11TickSecondChanges)->UseRealTime();
BENCHMARK(BM_X11TickAcrossMidnight)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  std::string problem = plat::Initialize();
  if (!problem.empty()) {
    std::printf("tick_bench_x11: not run: %s\n", problem.c_str());
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
