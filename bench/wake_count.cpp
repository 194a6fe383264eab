// Wake-ups of a process, counted from outside: its threads' context switches (from /proc),
// sampled every 0.5 ms, and each start of activity after at least 10 ms without a switch counted
// as one wake-up. Under Wine each wait and each call to Wine's server is a switch of its own, so
// the switches alone overstate how often the program wakes; a burst of them is one wake-up, and
// the pauses within one (painting, or emulation under qemu) stay well under 10 ms. Wake-ups at
// 64 a second (15.6 ms apart) still count one by one; a 1-ms loop's blur into one.
//
//   wake_count PID SECONDS     prints "wake-ups switches" over that span
#include <dirent.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

namespace {

long Switches(const std::string& pid) {
  long sum = 0;
  const std::string tasks = "/proc/" + pid + "/task";
  DIR* d = opendir(tasks.c_str());
  if (!d) return -1;
  while (dirent* e = readdir(d)) {
    if (e->d_name[0] == '.') continue;
    if (FILE* f = std::fopen((tasks + "/" + e->d_name + "/status").c_str(), "r")) {
      char line[256];
      long n;
      while (std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "voluntary_ctxt_switches: %ld", &n) == 1 ||
            std::sscanf(line, "nonvoluntary_ctxt_switches: %ld", &n) == 1)
          sum += n;
      std::fclose(f);
    }
  }
  closedir(d);
  return sum;
}

}  // namespace

constexpr long kQuietSamples = 20;  // 10 ms

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: wake_count PID SECONDS\n");
    return 2;
  }
  const std::string pid = argv[1];
  const long samples = std::atol(argv[2]) * 2000;
  long last = Switches(pid), first = last, wakes = 0, still = 0;
  if (last < 0) return 1;
  timespec at{};
  clock_gettime(CLOCK_MONOTONIC, &at);
  for (long i = 0; i < samples; ++i) {
    at.tv_nsec += 500'000;
    if (at.tv_nsec >= 1'000'000'000) {
      at.tv_nsec -= 1'000'000'000;
      ++at.tv_sec;
    }
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr);
    const long now = Switches(pid);
    if (now < 0) return 1;
    if (now != last) {
      if (still >= kQuietSamples) ++wakes;
      still = 0;
    } else {
      ++still;
    }
    last = now;
  }
  std::printf("%ld %ld\n", wakes, last - first);
  return 0;
}
