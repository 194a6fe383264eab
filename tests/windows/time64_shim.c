/* Put before libfaketime in LD_PRELOAD for 32-bit Wine: its Unix side reads the clock through
 * glibc's 64-bit-time entry points (__clock_gettime64, __gettimeofday64, __time64), which
 * Debian 12's libfaketime does not wrap, so a 32-bit program would see the real time. Each is
 * passed to the 32-bit call that libfaketime does wrap. Dates past 2038 do not fit: the tests'
 * instants lie well before. Built with gcc -m32 -shared -nostdlib: it needs no C library headers
 * nor a 32-bit C library to link against. */
struct ts32 { long sec, nsec; };
struct ts64 { long long sec; long nsec, pad; };
struct tv32 { long sec, usec; };
struct tv64 { long long sec, usec; };
extern int clock_gettime(int clock, struct ts32* ts);
extern int gettimeofday(struct tv32* tv, void* tz);
extern long time(long* t);

int __clock_gettime64(int clock, struct ts64* ts) {
  struct ts32 t;
  int r = clock_gettime(clock, &t);
  if (r == 0) {
    ts->sec = t.sec;
    ts->nsec = t.nsec;
    ts->pad = 0;
  }
  return r;
}

int __gettimeofday64(struct tv64* tv, void* tz) {
  struct tv32 t;
  int r = gettimeofday(&t, tz);
  if (r == 0 && tv) {
    tv->sec = t.sec;
    tv->usec = t.usec;
  }
  return r;
}

long long __time64(long long* out) {
  long long now = time(0);
  if (out) *out = now;
  return now;
}
