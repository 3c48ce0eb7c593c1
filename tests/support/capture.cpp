#include "capture.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

namespace zoltest {

namespace {

// Redirects fd to a temporary file for its lifetime.
class Redirect {
 public:
  Redirect(int fd, int target) : fd_(fd), saved_(dup(fd)) {
    fflush(nullptr);
    dup2(target, fd);
  }
  ~Redirect() {
    fflush(nullptr);
    dup2(saved_, fd_);
    close(saved_);
  }

 private:
  int fd_;
  int saved_;
};

std::string slurp(FILE* file) {
  fflush(file);
  rewind(file);
  std::string text;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
  fclose(file);
  return text;
}

}  // namespace

Output capture(const std::function<void()>& body) {
  FILE* out = tmpfile();
  FILE* err = tmpfile();
  EXPECT_NE(out, nullptr);
  EXPECT_NE(err, nullptr);
  {
    Redirect stdout_redirect(1, fileno(out));
    Redirect stderr_redirect(2, fileno(err));
    body();
  }
  return Output{slurp(out), slurp(err)};
}

Output with_stdout_full(const std::function<void()>& body) {
  FILE* out = tmpfile();
  FILE* err = tmpfile();
  int full = open("/dev/full", O_WRONLY);
  EXPECT_GE(full, 0);
  {
    Redirect stdout_redirect(1, fileno(out));
    Redirect stderr_redirect(2, fileno(err));
    dup2(full, 1);
    body();
    // What the failed flushes left in the buffer goes to the capture now.
    dup2(fileno(out), 1);
    clearerr(stdout);
  }
  close(full);
  return Output{slurp(out), slurp(err)};
}

Exit run_forked(const std::function<void()>& body) {
  FILE* out = tmpfile();
  FILE* err = tmpfile();
  fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(fileno(out), 1);
    dup2(fileno(err), 2);
    body();
    fflush(nullptr);
    _exit(0);
  }
  int status = 0;
  EXPECT_EQ(waitpid(pid, &status, 0), pid);
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  Exit end{code, slurp(out), slurp(err)};
  // Under qemu-user (the cross builds' emulator) a signal that ends the
  // emulated child adds qemu's own line to its stderr, after the child's.
  const size_t note = end.err.rfind("qemu: uncaught target signal ");
  if (!WIFEXITED(status) && note != std::string::npos && (note == 0 || end.err[note - 1] == '\n') &&
      end.err.find('\n', note) == end.err.size() - 1) {
    end.err.erase(note);
  }
  return end;
}

std::string in_child(const std::function<void()>& body) {
  const Exit end = run_forked([&] {
    body();
    fflush(nullptr);
    if (::testing::Test::HasFailure()) _exit(3);
  });
  EXPECT_EQ(end.status, 0) << end.out << end.err;
  return end.out;
}

}  // namespace zoltest
