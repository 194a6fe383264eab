// The floor under the clock's cost: a process that does nothing but wake 64 times a second the
// way the clock's pause does (a timerfd armed to the next 15.625-ms step, waited on with
// ppoll). side_by_side.sh runs it beside the clock, so the clock's own work shows as the
// difference. Runs until killed.
#include <poll.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cstdint>
#include <ctime>

int main() {
  constexpr std::int64_t kPeriod = 15'625'000;
  int fd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
  if (fd < 0) return 1;
  for (;;) {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const std::int64_t now = std::int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
    const std::int64_t due = (now + 1'000'000 + kPeriod - 1) / kPeriod * kPeriod - now;
    itimerspec arm{};
    arm.it_value = {time_t(due / 1'000'000'000), long(due % 1'000'000'000)};
    timerfd_settime(fd, 0, &arm, nullptr);
    pollfd p{fd, POLLIN, 0};
    ppoll(&p, 1, nullptr, nullptr);
    std::uint64_t n;
    if (read(fd, &n, sizeof n) < 0) continue;
  }
}
