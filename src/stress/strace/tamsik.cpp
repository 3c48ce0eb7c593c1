// Native half of the tamsik stack-trace stress test.
//
// recursiveMethod2 and the Java method recursiveMethod1 of the same thread
// object call each other, so that Java and native frames alternate on the
// thread's stack. Each native frame raises the thread's currentDepth by one
// for as long as it is on the stack, and calls back into Java only while the
// raised depth is still below the test class's static DEPTH. Nothing is
// cached: every frame looks its classes and members up afresh.
//
// Every lookup and the call back are verified steps. Their trace and
// complaint lines name this file and the line of the step, so the steps
// stay on the lines that the suite's logs refer to (the unit tests pin them).
// After a failed step the complaint has been printed and any exception
// described and cleared; the process then ends with status 1.

#include <jni.h>

#include <cstdint>
#include <cstdlib>

#include "share/jni/jni_tools.h"

namespace {

const char* const Stest_cn = "zol/stress/strace/tamsik";

// Java int arithmetic: wraps instead of overflowing.
jint java_add(jint a, jint b) { return static_cast<jint>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b)); }
jint java_sub(jint a, jint b) { return static_cast<jint>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b)); }

}  // namespace

// clang-format off
extern "C" {

// Class: zol.stress.strace.tamsikThread  Method: recursiveMethod2  Signature: ()V
JNIEXPORT void JNICALL Java_zol_stress_strace_tamsikThread_recursiveMethod2(JNIEnv* env, jobject obj) {
  jclass testClass, threadClass;
  jfieldID field;
  if (!ZOL_JNI_VERIFY(env, (testClass = env->FindClass(Stest_cn)) != NULL)) exit(1);
  if (!ZOL_JNI_VERIFY(env, (threadClass = env->GetObjectClass(obj)) != NULL)) exit(1);

  // Raise this thread's depth for as long as this frame is on the stack.
  if (!ZOL_JNI_VERIFY(env, (field = env->GetFieldID(threadClass, "currentDepth", "I")) != NULL)) exit(1);
  const jint depth = env->GetIntField(obj, field);
  if (!ZOL_JNI_VERIFY(env, (field = env->GetFieldID(threadClass, "currentDepth", "I")) != NULL)) exit(1);
  env->SetIntField(obj, field, java_add(depth, 1));
  if (!ZOL_JNI_VERIFY(env, (field = env->GetStaticFieldID(testClass, "DEPTH", "I")) != NULL)) exit(1);
  if (java_sub(env->GetStaticIntField(testClass, field), java_add(depth, 1)) > 0) {
    // The call back returns only when the whole deeper recursion has unwound.
    jmethodID method;
    if (!ZOL_JNI_VERIFY(env, (method = env->GetMethodID(threadClass, "recursiveMethod1", "()V")) != NULL) || !ZOL_JNI_VERIFY_CALL_VOID_METHOD(env, obj, method)) exit(1);
  }

  // Leave the depth as this frame found it.
  if (!ZOL_JNI_VERIFY(env, (threadClass = env->GetObjectClass(obj)) != NULL)) exit(1);
  if (!ZOL_JNI_VERIFY(env, (field = env->GetFieldID(threadClass, "currentDepth", "I")) != NULL)) exit(1);
  env->SetIntField(obj, field, depth);
}

}  // extern "C"
// clang-format on
