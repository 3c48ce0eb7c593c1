// Native half of the suite's locking thread.
//
// nativeJNIMonitorEnter makes the calling thread own the lock's monitor
// through JNI, not a synchronized block, across a call back into the
// receiver's createStackFrame: while that runs, a Java frame sits above the
// native frame that owns the lock. The monitor is exited when it returns, so
// the entry count is left as it was found.
//
// A failed monitor operation is reported twice: a complaint naming this file
// and the line of the call (pinned by the unit tests), and a TestJNIError.

#include <jni.h>

#include "share/native/zol_tools.h"

namespace {

// Raises zol/share/TestJNIError with message. Whatever the failed monitor
// call left pending (a NullPointerException for a null lock, an
// IllegalMonitorStateException, or the exception of createStackFrame) is
// cleared first, since FindClass and ThrowNew may not be called with one
// pending; a missing class leaves its NoClassDefFoundError instead.
void throw_jni_error(JNIEnv* env, const char* message) {
  if (env->ExceptionCheck()) env->ExceptionClear();
  const jclass errorClass = env->FindClass("zol/share/TestJNIError");
  if (errorClass != NULL) env->ThrowNew(errorClass, message);
  // exception thrown: zol/share/TestJNIError or NoClassDefFoundError
}

}  // namespace

// clang-format off
extern "C" {

// Class: zol.share.locks.Nordevik  Method: nativeJNIMonitorEnter  Signature: (Ljava/lang/Object;)V
JNIEXPORT void JNICALL Java_zol_share_locks_Nordevik_nativeJNIMonitorEnter(JNIEnv* env, jobject thisObject, jobject lock) {
  jint r = env->MonitorEnter(lock);
  if (r != 0) {
    zol_lcomplain(__FILE__, __LINE__, "MonitorEnter return non-zero: %d\n", r);
    // Nothing was entered, and the lookups and call back below may not be
    // made with the exception pending: the caller gets it at once.
    throw_jni_error(env, "MonitorEnter return non-zero");
    return;
  }

  // The lock stays owned for exactly as long as createStackFrame runs. An
  // exception it throws stays pending for the caller: MonitorExit is one of
  // the few calls allowed with one pending. A missing method is not called,
  // and its NoSuchMethodError goes to the caller the same way.
  const jclass thisClass = env->GetObjectClass(thisObject);
  const jmethodID createStackFrame = env->GetMethodID(thisClass, "createStackFrame", "()V");
  if (createStackFrame != NULL) env->CallVoidMethod(thisObject, createStackFrame);
  r = env->MonitorExit(lock);
  if (r != 0) {
    zol_lcomplain(__FILE__, __LINE__, "MonitorExit return non-zero: %d\n", r);
    throw_jni_error(env, "MonitorExit return non-zero");
  }
}

}  // extern "C"
// clang-format on
