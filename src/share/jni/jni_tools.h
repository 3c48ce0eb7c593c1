// JNI call verification: turns a JNI call into a verified step that checks
// the call's outcome and that no Java exception is left pending, complaining
// through the channel of zol_tools.h. After any of these functions returns,
// no exception is pending in the calling thread.
#ifndef JNI_TOOLS_H
#define JNI_TOOLS_H

#include <jni.h>

#include "share/native/zol_tools.h"

// 1 if an exception was pending (reported, described and cleared), else 0.
int zol_jni_check_exception(JNIEnv* env, const char* file, int line);

// 1 if outcome is not the negation of expected and no exception was pending.
int zol_jni_lverify(int expected, JNIEnv* env, int outcome, const char* file, int line, const char* format, ...)
    ZOL_PRINTF_LIKE(6, 7);

// 1 if no exception was pending after a call without a result.
int zol_jni_lverify_void(JNIEnv* env, const char* file, int line, const char* format, ...) ZOL_PRINTF_LIKE(4, 5);

// A verified step: where it stands in the caller's source, and the source
// text of its expression, which names it in traces and complaints.
struct zol_jni_step {
  const char* file;
  int line;
  const char* text;
};

// The verified-step pattern around a JNI call: the mode-1 trace before it,
// then zol_jni_lverify (expected 1) or zol_jni_lverify_void after it, all with
// the step's file, line, the format "%s\n" and its text. Out of line, with the
// step passed by address, so that a native's frame keeps no more than the
// step's address live across its JNI calls: deep recursions through a native
// depend on that frame staying small.
void zol_jni_trace_step(const zol_jni_step* step);
int zol_jni_verify_step(JNIEnv* env, int outcome, const zol_jni_step* step);
int zol_jni_verify_void_step(JNIEnv* env, const zol_jni_step* step);

namespace zol_jni_detail {

// One instance per step, taking the step's address from its template
// argument: the caller never holds that address in a register across its JNI
// call, and these thunks compile to a single jump.
template <const zol_jni_step* Step>
__attribute__((noinline)) void trace() {
  zol_jni_trace_step(Step);
}
template <const zol_jni_step* Step>
__attribute__((noinline)) int verify(JNIEnv* env, int outcome) {
  return zol_jni_verify_step(env, outcome, Step);
}
template <const zol_jni_step* Step>
__attribute__((noinline)) int verify_void(JNIEnv* env) {
  return zol_jni_verify_void_step(env, Step);
}

// CallVoidMethod through the function table's own entry. The C++ wrapper
// env->CallVoidMethod is variadic, which compilers do not inline, so its frame
// (over 200 bytes, most of it the register save area) would stay on the stack
// for the whole call.
inline void call_void_method(JNIEnv* env, jobject obj, jmethodID method) {
  env->functions->CallVoidMethod(env, obj, method);
}

// The call and its verification, for a native whose last act they are: the
// native traces the step, then tail-calls this, so that while Java runs only
// this frame stays on the stack (the saved env and the return address). Fail,
// which must not return, is called when the step failed.
template <const zol_jni_step* Step, void (*Fail)()>
__attribute__((noinline)) void call_void_method_last(JNIEnv* env, jobject obj, jmethodID method) {
  call_void_method(env, obj, method);
  if (zol_jni_verify_void_step(env, Step) == 0) Fail();
}

}  // namespace zol_jni_detail

// A verified step written as one expression that yields 1 when the step held.
// The text is the expression as the caller wrote it (the preprocessor keeps
// its spelling, with single blanks), so keep a step on the one line that the
// logs name.
#define ZOL_JNI_VERIFY(env, expr)                                         \
  ([&]() -> int {                                                         \
    static constexpr zol_jni_step zol_step = {__FILE__, __LINE__, #expr}; \
    zol_jni_detail::trace<&zol_step>();                                   \
    return zol_jni_detail::verify<&zol_step>((env), (expr) ? 1 : 0);      \
  }())

// The same for a call that returns nothing (a CallVoidMethod).
#define ZOL_JNI_VERIFY_VOID(env, expr)                                    \
  ([&]() -> int {                                                         \
    static constexpr zol_jni_step zol_step = {__FILE__, __LINE__, #expr}; \
    zol_jni_detail::trace<&zol_step>();                                   \
    (expr);                                                               \
    return zol_jni_detail::verify_void<&zol_step>((env));                 \
  }())

// The text of a CallVoidMethod step, spelled as the C++ wrapper's call.
#define ZOL_JNI_CALL_VOID_METHOD_TEXT(env, obj, method) #env "->CallVoidMethod(" #obj ", " #method ")"

// ZOL_JNI_VERIFY_VOID(env, env->CallVoidMethod(obj, method)), the same step
// with the same text, the call made through the function table.
#define ZOL_JNI_VERIFY_CALL_VOID_METHOD(env, obj, method)                                                           \
  ([&]() -> int {                                                                                                   \
    static constexpr zol_jni_step zol_step = {__FILE__, __LINE__, ZOL_JNI_CALL_VOID_METHOD_TEXT(env, obj, method)}; \
    zol_jni_detail::trace<&zol_step>();                                                                             \
    zol_jni_detail::call_void_method((env), (obj), (method));                                                       \
    return zol_jni_detail::verify_void<&zol_step>((env));                                                           \
  }())

// The same step as a native's last statement, for a recursion through the
// native: it yields nothing and calls fail (a function that does not return)
// when the step failed. Only the helper's frame (16 bytes on x86-64) stays on
// the stack across the call.
#define ZOL_JNI_VERIFY_CALL_VOID_METHOD_LAST(env, obj, method, fail)                                                \
  ([&]() {                                                                                                          \
    static constexpr zol_jni_step zol_step = {__FILE__, __LINE__, ZOL_JNI_CALL_VOID_METHOD_TEXT(env, obj, method)}; \
    zol_jni_detail::trace<&zol_step>();                                                                             \
    zol_jni_detail::call_void_method_last<&zol_step, fail>((env), (obj), (method));                                 \
  }())

#endif  // JNI_TOOLS_H
