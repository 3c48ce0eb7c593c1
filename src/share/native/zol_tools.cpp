// Message and complaint channel: the one path by which the native libraries
// write to the test log. Every piece goes out through zol_printf, so each is
// flushed on its own and concurrent writers interleave only between pieces.

#include "share/native/zol_tools.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "share/native/zol_tools_testing.h"

namespace {

// Per-image state, set when the library is loaded. Nothing in a deliverable
// changes verbose_mode or trace_mask; complaint_count only rises, and stops at
// INT_MAX so that it can never wrap back below the limit. The count is atomic
// so that racing complaints lose no increment; ordering is irrelevant.
int verbose_mode = 0;
int trace_mask = 0;
std::atomic<int> complaint_count{0};

constexpr int kMessageSize = 1024;
constexpr int kComplaintLimit = 665;
// The line that the fake stack trace names as this function's own frame.
constexpr int kSelfLine = 172;

const char kTooManyComplaints[] =
    "# ...\n"
    "# ERROR: too many complains, giving up to save disk space (CR 6341460)\n"
    "# Please rerun the test with -verbose option to listen to the entire song\n";

// Text after the last '/' or '\'; the whole path without one; empty after a
// trailing separator.
const char* base_name(const char* path) {
  const char* base = path;
  for (const char* p = path; *p != '\0'; ++p) {
    if (*p == '/' || *p == '\\') base = p + 1;
  }
  return base;
}

// The fake trace carries only the message's first line: cut after the first
// newline, or end the text with a newline in place of its last character.
void cut_first_line(char* text) {
  char* newline = strchr(text, '\n');
  if (newline != nullptr) {
    newline[1] = '\0';
  } else {
    size_t length = strlen(text);
    if (length > 0) text[length - 1] = '\n';
  }
}

// Printed once per image, in front of its first complaint, so that failure
// analysis tools that look for a Java exception find one.
void print_fake_stack_trace(const char* file, int line, const char* message) {
  char first_line[kMessageSize];
  memcpy(first_line, message, strlen(message) + 1);
  cut_first_line(first_line);

  zol_printf("The following fake exception stacktrace is for failuire analysis. \n");
  zol_printf("zol.share.Fake_Exception_for_RULE_Creation: ");
  if (file != nullptr) zol_printf("(%s:%d) ", base_name(file), line);
  zol_printf("%s", first_line);
  zol_printf("\tat zol_lvcomplain(%s:%d)\n", base_name(__FILE__), kSelfLine);
}

// This complaint's number: the count after adding one, held at INT_MAX once
// there.
int next_complaint() {
  int old = complaint_count.load(std::memory_order_relaxed);
  while (old != INT_MAX && !complaint_count.compare_exchange_weak(old, old + 1, std::memory_order_relaxed)) {
  }
  return old == INT_MAX ? INT_MAX : old + 1;
}

}  // namespace

int zol_vprintf(const char* format, va_list args) {
  int x = vprintf(format, args);
  int err = fflush(stdout);
  if (err != 0) {
    // Reported on both streams, neither flushed nor checked: there is no
    // better channel left to report a failure of these two.
    printf("stdout: fflush failed - err=%d errno=%d x=%d\n", err, errno, x);
    fprintf(stderr, "stderr: fflush failed - err=%d errno=%d x=%d\n", err, errno, x);
  }
  return x;
}

int zol_printf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int x = zol_vprintf(format, args);
  va_end(args);
  return x;
}

void zol_lvtrace(int mode, const char* file, int line, const char* format, va_list args) {
  if ((mode & trace_mask) == 0) return;
  const char* marker = mode == ZOL_TRACE_CALL ? ">>" : mode == ZOL_TRACE_RETURN ? "<<" : "..";
  zol_printf("- %s, %d: %s ", file != nullptr ? base_name(file) : "(null)", line, marker);
  zol_vprintf(format, args);
}

void zol_ltrace(int mode, const char* file, int line, const char* format, ...) {
  va_list args;
  va_start(args, format);
  zol_lvtrace(mode, file, line, format, args);
  va_end(args);
}

void zol_lvcomplain(const char* file, int line, const char* format, va_list args) {
  const int n = next_complaint();
  if (verbose_mode == 0) {
    if (n > kComplaintLimit) return;
    if (n == kComplaintLimit) {
      zol_printf("%s", kTooManyComplaints);
      return;
    }
  }

  char message[kMessageSize];
  vsnprintf(message, sizeof message, format, args);

  // n, not a fresh read of the counter: exactly one complaint is the first.
  if (n == 1) print_fake_stack_trace(file, line, message);

  if (file != nullptr) {
    zol_printf("# ERROR: %s, %d: ", base_name(file), line);
  } else {
    zol_printf("# ERROR: ");
  }
  zol_printf("%s", message);
}

void zol_lcomplain(const char* file, int line, const char* format, ...) {
  va_list args;
  va_start(args, format);
  zol_lvcomplain(file, line, format, args);
  va_end(args);
}

void zol_testing_set_verbose_mode(int value) { verbose_mode = value; }
void zol_testing_set_trace_mask(int value) { trace_mask = value; }
void zol_testing_set_complaint_count(int value) { complaint_count.store(value); }
int zol_testing_complaint_count() { return complaint_count.load(); }
