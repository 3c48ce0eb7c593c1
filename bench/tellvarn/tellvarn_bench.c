/* tellvarn_bench [SECONDS]: allocator calls per second in tellvarn's loop
 * against a bare C loop of malloc(1), free and time, in turn, three rounds
 * of SECONDS (default 3) each. The ratio is tellvarn's best round over the
 * bare loop's best round.
 *
 * malloc, free and time below replace the C library's in the whole process,
 * libtellvarn.so included: malloc and free count and pass on to the C
 * library's allocator; time reads the real coarse clock, as the C library's
 * does, but answers 180 seconds on once the round's real time is up. Both
 * loops pay the same for them. Built with -fno-builtin so that the bare loop
 * keeps its calls, and with them out of line so that it calls them as a
 * library would. */
#define _GNU_SOURCE
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

void* __libc_malloc(size_t size);
void __libc_free(void* block);
/* Uses neither argument. */
void Java_gc_gctests_tellvarn_tellvarn_getMallocLock02(void* env, void* self);

static unsigned long long calls;
static struct timespec deadline;
static time_t base;

__attribute__((noinline)) void* malloc(size_t size) {
  calls++;
  return __libc_malloc(size);
}

__attribute__((noinline)) void free(void* block) {
  calls++;
  __libc_free(block);
}

__attribute__((noinline)) time_t time(time_t* result) {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
  int over = now.tv_sec > deadline.tv_sec || (now.tv_sec == deadline.tv_sec && now.tv_nsec >= deadline.tv_nsec);
  time_t t = base + (over ? 180 : 0);
  if (result != NULL) *result = t;
  return t;
}

__attribute__((noinline)) static void bare_loop(void) {
  const long long start = time(NULL);
  long long current = 0;
  while (current - start < 180) {
    free(malloc(1));
    current = time(NULL);
  }
}

static void tellvarn_loop(void) { Java_gc_gctests_tellvarn_tellvarn_getMallocLock02(NULL, NULL); }

static double seconds_since(const struct timespec* start) {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return (double)(now.tv_sec - start->tv_sec) + (double)(now.tv_nsec - start->tv_nsec) / 1e9;
}

/* Allocator calls per second of one round. */
static double round_of(void (*loop)(void), int seconds) {
  struct timespec start;
  clock_gettime(CLOCK_MONOTONIC_COARSE, &deadline);
  deadline.tv_sec += seconds;
  base = 1700000000;
  clock_gettime(CLOCK_MONOTONIC, &start);
  calls = 0;
  loop();
  const unsigned long long counted = calls;
  return (double)counted / seconds_since(&start);
}

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? atoi(argv[1]) : 3;
  double best_bare = 0, best_tellvarn = 0;
  for (int round = 1; round <= 3; round++) {
    const double bare = round_of(bare_loop, seconds);
    const double tellvarn = round_of(tellvarn_loop, seconds);
    printf("round %d: bare C loop %.0f calls/s, tellvarn %.0f calls/s\n", round, bare, tellvarn);
    if (bare > best_bare) best_bare = bare;
    if (tellvarn > best_tellvarn) best_tellvarn = tellvarn;
  }
  printf("tellvarn / bare C loop: %.3f\n", best_tellvarn / best_bare);
  return 0;
}
