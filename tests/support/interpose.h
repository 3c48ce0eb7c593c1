// The C runtime functions that the lockers and tellvarn call, interposed with
// -Wl,--wrap (tests/unit/CMakeLists.txt) so that a test can script the clock,
// make a pause return at once or be interrupted, fail an allocation, and see
// the calls in order. Outside a Scope every wrapper passes straight through.
//
// Include in exactly one source file of a test binary: it defines the wrappers.
#ifndef ZOLTEST_INTERPOSE_H
#define ZOLTEST_INTERPOSE_H

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

extern "C" {
void* __real_malloc(size_t size);
void __real_free(void* block);
time_t __real_time(time_t* result);
int __real_nanosleep(const timespec* request, timespec* remaining);
}

namespace zoltest {

struct Interposed {
  bool active = false;
  // "malloc(N)", "free(last)" for the block the last malloc returned,
  // "free(null)", "free(other)", "time", "sleep S.NNNNNNNNN".
  std::vector<std::string> log;
  // The clock while active; no script means the real clock.
  std::function<time_t()> clock;
  // Each pause call takes the next one: it returns -1 with EINTR and that
  // much time left.
  std::vector<timespec> interruptions;
  // malloc of exactly this size returns null.
  size_t fail_malloc_of = 0;
  void* last_block = nullptr;
  long live_blocks = 0;
};

inline Interposed interposed;

// Interposes for its lifetime; the log and settings start empty.
class Scope {
 public:
  Scope() {
    interposed = Interposed();
    interposed.active = true;
  }
  ~Scope() { interposed.active = false; }
  Scope(const Scope&) = delete;
  Scope& operator=(const Scope&) = delete;
};

// A clock that reads values in turn and fails the test past their end.
inline std::function<time_t()> scripted_clock(const std::vector<time_t>& values) {
  auto next = std::make_shared<size_t>(0);
  return [values, next]() -> time_t {
    if (*next >= values.size()) {
      ADD_FAILURE() << "time() called more than the " << values.size() << " scripted times";
      return values.back();
    }
    return values[(*next)++];
  };
}

// The scripted clock's answer, logged, while a test drives the clock; else
// the real clock's (time() on Linux, _time64() on Windows).
template <typename TimeT>
TimeT interposed_clock(TimeT (*real)(TimeT*), TimeT* result) {
  Interposed& s = interposed;
  if (!s.active || !s.clock) return real(result);
  s.active = false;
  s.log.push_back("time");
  const TimeT now = static_cast<TimeT>(s.clock());
  s.active = true;
  if (result != nullptr) *result = now;
  return now;
}

}  // namespace zoltest

// Each test binary that interposes includes this once; the linker wants the
// wrappers as plain definitions.
// NOLINTBEGIN(misc-definitions-in-headers)
extern "C" {

void* __wrap_malloc(size_t size) {
  zoltest::Interposed& s = zoltest::interposed;
  if (!s.active) return __real_malloc(size);
  s.active = false;  // the log's own allocations are not the natives'
  s.log.push_back("malloc(" + std::to_string(size) + ")");
  void* block = size == s.fail_malloc_of ? nullptr : __real_malloc(size);
  s.last_block = block;
  if (block != nullptr) s.live_blocks++;
  s.active = true;
  return block;
}

void __wrap_free(void* block) {
  zoltest::Interposed& s = zoltest::interposed;
  if (s.active) {
    s.active = false;
    s.log.push_back(block == nullptr ? "free(null)" : block == s.last_block ? "free(last)" : "free(other)");
    if (block != nullptr) s.live_blocks--;
    s.active = true;
  }
  __real_free(block);
}

#ifndef _WIN32
time_t __wrap_time(time_t* result) { return zoltest::interposed_clock(__real_time, result); }

int __wrap_nanosleep(const timespec* request, timespec* remaining) {
  zoltest::Interposed& s = zoltest::interposed;
  if (!s.active) return __real_nanosleep(request, remaining);
  s.active = false;
  char text[48];
  snprintf(text, sizeof text, "sleep %lld.%09ld", static_cast<long long>(request->tv_sec), request->tv_nsec);
  s.log.push_back(text);
  int status = 0;
  if (!s.interruptions.empty()) {
    if (remaining != nullptr) *remaining = s.interruptions.front();
    s.interruptions.erase(s.interruptions.begin());
    errno = EINTR;
    status = -1;
  }
  s.active = true;
  return status;
}
#endif

#ifdef _WIN32
// Windows' clock (_time64, behind time()) and sleep (Sleep) are DLL imports,
// called through their import table slots __imp_<name>: the slots are
// interposed, with the pause logged as nanosleep's would be.
extern __time64_t (*__real___imp__time64)(__time64_t* result);
extern void(__stdcall* __real___imp_Sleep)(unsigned long ms);

__time64_t interposed_time64(__time64_t* result) { return zoltest::interposed_clock(__real___imp__time64, result); }

void __stdcall interposed_sleep(unsigned long ms) {
  zoltest::Interposed& s = zoltest::interposed;
  if (!s.active) return __real___imp_Sleep(ms);
  s.active = false;
  char text[48];
  snprintf(text, sizeof text, "sleep %lu.%09lu", ms / 1000, ms % 1000 * 1000000UL);
  s.log.push_back(text);
  s.active = true;
}

__time64_t (*__wrap___imp__time64)(__time64_t*) = interposed_time64;
void(__stdcall* __wrap___imp_Sleep)(unsigned long) = interposed_sleep;
#endif

}  // extern "C"
// NOLINTEND(misc-definitions-in-headers)

#endif  // ZOLTEST_INTERPOSE_H
