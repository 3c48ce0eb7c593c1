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
int zol_jni_lverify(int expected, JNIEnv* env, int outcome, const char* file, int line,
                    const char* format, ...) ZOL_PRINTF_LIKE(6, 7);

// 1 if no exception was pending after a call without a result.
int zol_jni_lverify_void(JNIEnv* env, const char* file, int line, const char* format, ...)
    ZOL_PRINTF_LIKE(4, 5);

// A verified step, written as one expression that yields 1 when the step held:
// trace, call, verify, all naming the caller's file and line and the source text
// of the expression. The text is the expression exactly as written in the
// caller (the preprocessor keeps its spelling, with single blanks), so keep a
// step on the one line that the logs name.
#define ZOL_JNI_VERIFY(env, expr)                                       \
  (zol_ltrace(ZOL_TRACE_CALL, __FILE__, __LINE__, "%s\n", #expr),       \
   zol_jni_lverify(1, (env), (expr) ? 1 : 0, __FILE__, __LINE__, "%s\n", #expr))

// The same for a call that returns nothing (a CallVoidMethod).
#define ZOL_JNI_VERIFY_VOID(env, expr)                                  \
  (zol_ltrace(ZOL_TRACE_CALL, __FILE__, __LINE__, "%s\n", #expr), (expr), \
   zol_jni_lverify_void((env), __FILE__, __LINE__, "%s\n", #expr))

#endif  // JNI_TOOLS_H
