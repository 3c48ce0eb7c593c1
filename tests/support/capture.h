// Captures what the code under test writes to the file descriptors 1 and 2,
// including output of C stdio that is still buffered when the capture ends.
#ifndef ZOLTEST_CAPTURE_H
#define ZOLTEST_CAPTURE_H

#include <functional>
#include <string>

namespace zoltest {

struct Output {
  std::string out;
  std::string err;
};

Output capture(const std::function<void()>& body);

// Runs body with fd 1 on /dev/full (on Windows and macOS, a pipe nobody reads), so
// every flush of stdout fails. Returns what reached fd 2, and as out what
// stdio still held for fd 1 afterwards.
Output with_stdout_full(const std::function<void()>& body);

// The errno of a failed write to that fd 1.
#ifdef _WIN32
constexpr int kFullStdoutErrno = 22;  // EINVAL, from a pipe without reader
#elif defined(__APPLE__)
constexpr int kFullStdoutErrno = 32;  // EPIPE
#else
constexpr int kFullStdoutErrno = 28;  // ENOSPC
#endif

}  // namespace zoltest

namespace zoltest {

// The end of a forked child: its exit status (or 128 + the signal that ended
// it) and what it wrote to fd 1 and fd 2.
struct Exit {
  int status;
  std::string out;
  std::string err;
};

// Runs body in a forked child that exits with 0 when body returns, so that
// natives that end the process can be tested for their exact output. Windows
// has no fork: there the test program runs again with only the current test,
// which on reaching the same call runs body and exits.
Exit run_forked(const std::function<void()>& body);

// The status of a child that abort() ended: 128 + SIGABRT, or Windows' 3.
#ifdef _WIN32
constexpr int kAbortStatus = 3;
#else
constexpr int kAbortStatus = 134;
#endif

// Runs body in a forked child, where a library image's state is as the
// parent left it (natives the parent never calls: freshly loaded; on Windows,
// as the test itself left it before this call); a failed
// expectation in the child fails the test. Returns what it wrote to fd 1.
std::string in_child(const std::function<void()>& body);

}  // namespace zoltest

#endif  // ZOLTEST_CAPTURE_H
