// JNI call verification. The module's own traces name this file at fixed
// lines, so logs read the same whatever this file's layout.

#include "share/jni/jni_tools.h"

#include <cstdarg>

namespace {

constexpr int kLineExceptionOccurred = 56;
constexpr int kLineExceptionDescribe = 59;
constexpr int kLineExceptionClear = 60;

void trace(int mode, int line, const char* text) { zol_ltrace(mode, __FILE__, line, "%s\n", text); }

}  // namespace

int zol_jni_check_exception(JNIEnv* env, const char* file, int line) {
  trace(ZOL_TRACE_CALL, kLineExceptionOccurred, "throwable = jni->ExceptionOccurred()");
  // The local reference is left to the native's frame: the caller either goes
  // on to fail or returns to Java soon.
  jthrowable throwable = env->ExceptionOccurred();
  trace(ZOL_TRACE_RETURN, kLineExceptionOccurred, "throwable = jni->ExceptionOccurred()");
  if (throwable == nullptr) return 0;

  zol_lcomplain(file, line, "Exception in JNI call (cleared):\n");

  trace(ZOL_TRACE_CALL, kLineExceptionDescribe, "jni->ExceptionDescribe()");
  env->ExceptionDescribe();
  trace(ZOL_TRACE_RETURN, kLineExceptionDescribe, "jni->ExceptionDescribe()");

  trace(ZOL_TRACE_CALL, kLineExceptionClear, "jni->ExceptionClear()");
  env->ExceptionClear();
  trace(ZOL_TRACE_RETURN, kLineExceptionClear, "jni->ExceptionClear()");
  return 1;
}

int zol_jni_lverify(int expected, JNIEnv* env, int outcome, const char* file, int line, const char* format, ...) {
  va_list args;
  va_start(args, format);
  zol_lvtrace(ZOL_TRACE_RETURN, file, line, format, args);
  va_end(args);

  const bool failed = outcome == !expected;
  if (failed) {
    va_start(args, format);
    zol_lvcomplain(file, line, format, args);
    va_end(args);
    zol_printf("#   verified JNI assertion is FALSE\n");
  }

  const int pending = zol_jni_check_exception(env, file, line);
  return !failed && pending == 0 ? 1 : 0;
}

int zol_jni_lverify_void(JNIEnv* env, const char* file, int line, const char* format, ...) {
  va_list args;
  va_start(args, format);
  zol_lvtrace(ZOL_TRACE_RETURN, file, line, format, args);
  va_end(args);

  const int pending = zol_jni_check_exception(env, file, line);
  if (pending != 0) {
    va_start(args, format);
    zol_lvcomplain(file, line, format, args);
    va_end(args);
  }
  return pending == 0 ? 1 : 0;
}

void zol_jni_trace_step(const zol_jni_step* step) {
  zol_ltrace(ZOL_TRACE_CALL, step->file, step->line, "%s\n", step->text);
}

int zol_jni_verify_step(JNIEnv* env, int outcome, const zol_jni_step* step) {
  return zol_jni_lverify(1, env, outcome, step->file, step->line, "%s\n", step->text);
}

int zol_jni_verify_void_step(JNIEnv* env, const zol_jni_step* step) {
  return zol_jni_lverify_void(env, step->file, step->line, "%s\n", step->text);
}
