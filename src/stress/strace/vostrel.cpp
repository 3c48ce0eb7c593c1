// Native half of the vostrel stack-trace stress test.
//
// recursiveMethod2 calls straight back into recursiveMethod1 of the same
// thread object, so that Java and native frames alternate on the thread's
// stack; the Java side alone decides when the recursion stops. The call back
// is the native's last act, a tail call of its step's helper, so that only
// that helper's 16 bytes stay on the stack while Java runs: the recursion
// reaches as deep as the stack lets Java go.
//
// The verified steps name this file and their line in the suite's logs, so
// they stay on those lines (the unit tests pin them). After a failed step
// the complaint has been printed and any exception described and cleared;
// the process then ends with status 1.

#include <jni.h>

#include <cstdlib>

#include "share/jni/jni_tools.h"

namespace {
[[noreturn]] void fail() { exit(1); }
}  // namespace

// clang-format off
extern "C" {

// Class: zol.stress.strace.vostrelThread  Method: recursiveMethod2  Signature: ()V
JNIEXPORT void JNICALL Java_zol_stress_strace_vostrelThread_recursiveMethod2(JNIEnv* env, jobject obj) {
  jclass threadClass;
  jmethodID method;

  // The receiver's class, the Java half of the recursion in it, and the call
  // back, which returns only when the whole deeper recursion has unwound.
  if (!ZOL_JNI_VERIFY(env, (threadClass = env->GetObjectClass(obj)) != NULL)) fail();
  // The look-up and the call share a line in the logs, as they do here.
  if (!ZOL_JNI_VERIFY(env, (method = env->GetMethodID(threadClass, "recursiveMethod1", "()V")) != NULL)) { fail(); } ZOL_JNI_VERIFY_CALL_VOID_METHOD_LAST(env, obj, method, fail);
}

}  // extern "C"
// clang-format on
