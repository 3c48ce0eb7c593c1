// Native half of the vostrel stack-trace stress test.
//
// recursiveMethod2 calls straight back into recursiveMethod1 of the same
// thread object, so that Java and native frames alternate on the thread's
// stack; the Java side alone decides when the recursion stops. The frame
// holds one local reference and calls nothing but the three JNI functions
// of its verified steps, so the recursion reaches as deep as the stack lets
// Java go.
//
// The verified steps name this file and their line in the suite's logs, so
// they stay on those lines (the unit tests pin them). After a failed step
// the complaint has been printed and any exception described and cleared;
// the process then ends with status 1.

#include <jni.h>

#include <cstdlib>

#include "share/jni/jni_tools.h"

// clang-format off
extern "C" {

// Class: zol.stress.strace.vostrelThread  Method: recursiveMethod2  Signature: ()V
JNIEXPORT void JNICALL Java_zol_stress_strace_vostrelThread_recursiveMethod2(JNIEnv* env, jobject obj) {
  // Each failed step ends the process before the next one could run against
  // a missing class or method, so no step needs to test the one before it.
  jclass threadClass;
  jmethodID method;

  // The receiver's class, the Java half of the recursion in it, and the call
  // back, which returns only when the whole deeper recursion has unwound.
  // The look-up and the call share a line in the logs, as they share the
  // line below.
  if (!ZOL_JNI_VERIFY(env, (threadClass = env->GetObjectClass(obj)) != NULL)) exit(1);

  if (!ZOL_JNI_VERIFY(env, (method = env->GetMethodID(threadClass, "recursiveMethod1", "()V")) != NULL) || !ZOL_JNI_VERIFY_VOID(env, env->CallVoidMethod(obj, method))) exit(1);
}

}  // extern "C"
// clang-format on
