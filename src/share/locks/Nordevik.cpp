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
// After a failed MonitorEnter the method returns at once: nothing was
// entered, so there is nothing to exit, and the lookups and the call back
// may not be made with the exception pending. A failed MonitorExit is
// reported the same way, in place of anything createStackFrame threw.
//
// The monitor is the lock object's own, the one that synchronized blocks on
// it use: MonitorEnter waits while another thread owns it, and is re-entrant
// for a thread that owns it already, so a caller that holds the lock in a
// synchronized block still holds it once after the return.
//
// The only results tested are those of MonitorEnter and MonitorExit; the
// class, the method and the throw are used as they come, except that a
// missing method or exception class is never passed on to the JVM.

#include <jni.h>

#include "share/locks/jni_error.h"
#include "share/native/zol_tools.h"

using zol_locks::throw_jni_error;

// clang-format off
extern "C" {

// Class: zol.share.locks.Nordevik  Method: nativeJNIMonitorEnter  Signature: (Ljava/lang/Object;)V
JNIEXPORT void JNICALL Java_zol_share_locks_Nordevik_nativeJNIMonitorEnter(JNIEnv* env, jobject thisObject, jobject lock) {
  jint r = env->MonitorEnter(lock);
  if (r != 0) {
    zol_lcomplain(__FILE__, __LINE__, "MonitorEnter return non-zero: %d\n", static_cast<int>(r));
    // Nothing was entered, and the lookups and call back below may not be
    // made with the exception pending: the caller gets it at once.
    throw_jni_error(env, "MonitorEnter return non-zero");
    return;
  }

  // The lock stays owned for exactly as long as createStackFrame runs. An
  // exception it throws stays pending for the caller: MonitorExit is one of
  // the few calls allowed with one pending. A missing method is not called,
  // and its NoSuchMethodError goes to the caller the same way.
  jclass thisClass = env->GetObjectClass(thisObject);
  jmethodID createStackFrame = env->GetMethodID(thisClass, "createStackFrame", "()V");
  if (createStackFrame != NULL) env->CallVoidMethod(thisObject, createStackFrame);
  r = env->MonitorExit(lock);
  if (r != 0) {
    zol_lcomplain(__FILE__, __LINE__, "MonitorExit return non-zero: %d\n", static_cast<int>(r));
    throw_jni_error(env, "MonitorExit return non-zero");
  }
}

}  // extern "C"
// clang-format on
