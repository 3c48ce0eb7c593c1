#include "capture.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

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

// A descriptor whose every write fails.
int full_fd() {
#ifdef _WIN32
  int ends[2] = {-1, -1};
  EXPECT_EQ(_pipe(ends, 4096, _O_BINARY), 0);
  close(ends[0]);
  return ends[1];
#elif defined(__APPLE__)
  // No /dev/full: a pipe without reader, whose writes fail with EPIPE.
  int ends[2] = {-1, -1};
  EXPECT_EQ(pipe(ends), 0);
  close(ends[0]);
  signal(SIGPIPE, SIG_IGN);
  return ends[1];
#else
  return open("/dev/full", O_WRONLY);
#endif
}

Output with_stdout_full(const std::function<void()>& body) {
  FILE* out = tmpfile();
  FILE* err = tmpfile();
  int full = full_fd();
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

#ifdef _WIN32

namespace {

// The child's part: "N;OUT;ERR;EARLIER" runs body at the Nth run_forked call
// of the test, with fd 1 and 2 on the files OUT and ERR; the calls before it
// return the ends that the parent saw, read from the file EARLIER.
constexpr char kChildVariable[] = "ZOLTEST_FORKED_CHILD";

std::string current_test() {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  return info == nullptr ? std::string() : std::string(info->test_suite_name()) + "." + info->name();
}

std::string slurp_path(const std::string& path) {
  FILE* file = fopen(path.c_str(), "rb");
  if (file == nullptr) return std::string();
  std::string text = slurp(file);
  remove(path.c_str());
  return text;
}

std::string temp_path(const char* prefix) {
  char* name = _tempnam(nullptr, prefix);
  std::string path = name != nullptr ? name : "";
  free(name);
  return path;
}

// Ends as "status out-length err-length\n" and the two texts.
void write_ends(const std::string& path, const std::vector<Exit>& ends) {
  FILE* file = fopen(path.c_str(), "wb");
  for (const Exit& e : ends) {
    fprintf(file, "%d %zu %zu\n", e.status, e.out.size(), e.err.size());
    fwrite(e.out.data(), 1, e.out.size(), file);
    fwrite(e.err.data(), 1, e.err.size(), file);
  }
  fclose(file);
}

std::vector<Exit> read_ends(const std::string& path) {
  std::vector<Exit> ends;
  FILE* file = fopen(path.c_str(), "rb");
  if (file == nullptr) return ends;
  Exit e{0, "", ""};
  size_t out = 0, err = 0;
  while (fscanf(file, "%d %zu %zu\n", &e.status, &out, &err) == 3) {
    e.out.resize(out);
    e.err.resize(err);
    if (fread(&e.out[0], 1, out, file) != out || fread(&e.err[0], 1, err, file) != err) break;
    ends.push_back(e);
  }
  fclose(file);
  return ends;
}

// abort() in the child ends it as on POSIX: no message, no flush.
extern "C" void abort_quietly(int) { _exit(kAbortStatus); }

}  // namespace

Exit run_forked(const std::function<void()>& body) {
  static std::string test;
  static std::vector<Exit> ends;
  if (current_test() != test) {
    test = current_test();
    ends.clear();
  }
  const size_t call = ends.size() + 1;
  const char* child = getenv(kChildVariable);
  const std::string saved = child != nullptr ? child : "";
  if (child != nullptr) {
    std::vector<std::string> parts;
    for (size_t at = 0, next; at <= saved.size(); at = next + 1) {
      next = saved.find(';', at);
      if (next == std::string::npos) next = saved.size();
      parts.push_back(saved.substr(at, next - at));
    }
    const size_t mine = std::stoul(parts.at(0));
    if (call < mine) {
      const std::vector<Exit> earlier = read_ends(parts.at(3));
      ends.push_back(call <= earlier.size() ? earlier[call - 1] : Exit{-1, "", ""});
      return ends.back();
    }
    if (call == mine) {
      fflush(nullptr);
      const int out = _open(parts.at(1).c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, 0600);
      const int err = _open(parts.at(2).c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, 0600);
      dup2(out, 1);
      dup2(err, 2);
      signal(SIGABRT, abort_quietly);
      body();
      fflush(nullptr);
      _exit(0);
    }
  }

  const std::string out_path = temp_path("zolo"), err_path = temp_path("zole"), earlier = temp_path("zolx");
  write_ends(earlier, ends);
  char program[MAX_PATH];
  GetModuleFileNameA(nullptr, program, sizeof program);
  const std::string filter = "--gtest_filter=" + test;
  const std::string value = std::to_string(call) + ";" + out_path + ";" + err_path + ";" + earlier;
  _putenv_s(kChildVariable, value.c_str());
  fflush(nullptr);
  const intptr_t status = _spawnl(_P_WAIT, program, program, filter.c_str(), "--gtest_brief=1", nullptr);
  _putenv_s(kChildVariable, saved.c_str());
  remove(earlier.c_str());
  EXPECT_NE(status, -1) << "could not start " << program;
  ends.push_back(Exit{static_cast<int>(status), slurp_path(out_path), slurp_path(err_path)});
  return ends.back();
}

#else

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

#endif

std::string in_child(const std::function<void()>& body) {
  const Exit end = run_forked([&] {
    // Only the body's own failures count: on Windows the child also ran the
    // test up to here, with stand-ins for the children before this one.
    const ::testing::TestResult& result = *::testing::UnitTest::GetInstance()->current_test_info()->result();
    const int before = result.total_part_count();
    body();
    fflush(nullptr);
    for (int i = before; i < result.total_part_count(); i++) {
      if (result.GetTestPartResult(i).failed()) _exit(3);
    }
  });
  EXPECT_EQ(end.status, 0) << end.out << end.err;
  return end.out;
}

}  // namespace zoltest
