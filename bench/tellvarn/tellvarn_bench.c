/* tellvarn_bench LIBRARY BARE [ROUNDS] [MILLISECONDS]: allocator passes per
 * CPU second (one malloc(1), one free and one time each) of tellvarn's loop in the
 * library LIBRARY and of the bare loop in BARE, both loaded here, in turn for
 * ROUNDS rounds (default 20) of MILLISECONDS each (default 250); which goes
 * first alternates. Short rounds in turn see the same load from the rest of
 * the machine. Prints "tellvarn.passes", the medians of both rates and
 * the median of the rounds' ratios (library over bare).
 *
 * malloc, free and time below replace the C library's for the whole process,
 * both libraries included: malloc counts the passes, malloc and free pass on
 * to the C library's allocator, and time reads the real coarse clock, as the
 * C library's does, but answers 180 seconds on once the round's real time is
 * up. Both loops pay the same for them. Built with -fno-builtin and with them
 * out of line, so that they stay the calls a library makes. */
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

// The C library's allocator under its own names.
void* __libc_malloc(size_t size);  // NOLINT(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
void __libc_free(void* block);     // NOLINT(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)

typedef void (*Native)(void* env, void* self);

static unsigned long long passes;
static struct timespec deadline;
static time_t base;

__attribute__((noinline)) void* malloc(size_t size) {
  passes++;
  return __libc_malloc(size);
}

// NOLINTNEXTLINE(readability-inconsistent-declaration-parameter-name): the C library's names are reserved
__attribute__((noinline)) void free(void* block) { __libc_free(block); }

// NOLINTNEXTLINE(readability-inconsistent-declaration-parameter-name): the C library's names are reserved
__attribute__((noinline)) time_t time(time_t* result) {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
  int over = now.tv_sec > deadline.tv_sec || (now.tv_sec == deadline.tv_sec && now.tv_nsec >= deadline.tv_nsec);
  time_t t = base + (over ? 180 : 0);
  if (result != NULL) *result = t;
  return t;
}

static Native load(const char* path) {
  void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  Native native = library == NULL ? NULL : (Native)dlsym(library, "Java_gc_gctests_tellvarn_tellvarn_getMallocLock02");
  if (native == NULL) {
    fprintf(stderr, "tellvarn_bench: %s\n", dlerror());
    exit(2);
  }
  return native;
}

/* CPU time of this thread: on a machine shared with other work, what the
 * loop itself costs, whatever share of a core it got. */
static double cpu_seconds_since(const struct timespec* start) {
  struct timespec now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return (double)(now.tv_sec - start->tv_sec) + (double)(now.tv_nsec - start->tv_nsec) / 1e9;
}

/* Passes per second of one shortened call. */
static double round_of(Native native, long milliseconds) {
  struct timespec start;
  clock_gettime(CLOCK_MONOTONIC_COARSE, &deadline);
  const long nanoseconds = deadline.tv_nsec + milliseconds % 1000 * 1000000L;
  deadline.tv_sec += milliseconds / 1000 + nanoseconds / 1000000000L;
  deadline.tv_nsec = nanoseconds % 1000000000L;
  base = 1700000000;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &start);
  passes = 0;
  native(NULL, NULL);
  const unsigned long long counted = passes;
  return (double)counted / cpu_seconds_since(&start);
}

static int by_value(const void* a, const void* b) {
  const double x = *(const double*)a, y = *(const double*)b;
  return (x > y) - (x < y);
}

static double median(double* values, int n) {
  qsort(values, (size_t)n, sizeof *values, by_value);
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: tellvarn_bench LIBRARY BARE [ROUNDS] [MILLISECONDS]\n");
    return 2;
  }
  const Native library = load(argv[1]), bare = load(argv[2]);
  const long rounds = argc > 3 ? strtol(argv[3], NULL, 10) : 20;
  const long milliseconds = argc > 4 ? strtol(argv[4], NULL, 10) : 250;
  if (rounds < 1 || rounds > 100 || milliseconds < 10) {
    fprintf(stderr, "tellvarn_bench: 1 to 100 rounds of at least 10 ms\n");
    return 2;
  }
  double library_rates[100], bare_rates[100], ratios[100];
  for (long round = 0; round < rounds; round++) {
    if (round % 2 == 0) {
      library_rates[round] = round_of(library, milliseconds);
      bare_rates[round] = round_of(bare, milliseconds);
    } else {
      bare_rates[round] = round_of(bare, milliseconds);
      library_rates[round] = round_of(library, milliseconds);
    }
    ratios[round] = library_rates[round] / bare_rates[round];
  }
  printf("tellvarn.passes %.0f %.0f %.4f\n", median(library_rates, (int)rounds), median(bare_rates, (int)rounds),
         median(ratios, (int)rounds));
  return 0;
}
