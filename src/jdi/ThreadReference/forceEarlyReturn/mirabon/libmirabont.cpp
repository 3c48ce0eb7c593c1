// Native half of the early-return test's lock holder.
//
// nativeJNIMonitorEnter makes the calling thread own the lock's monitor
// through JNI and returns still owning it: nothing here ever exits it, so
// every successful call adds one entry. The debugger side of the test relies
// on a thread that holds a monitor that no Java frame of it entered.
//
// A failed MonitorEnter is reported twice: a complaint naming this file and
// the line of the call (pinned by the unit tests), and a TestJNIError.

#include <jni.h>

#include "share/native/zol_tools.h"

namespace {

// Raises zol/share/TestJNIError with message. Whatever the failed MonitorEnter
// left pending (a NullPointerException for a null lock) is cleared first,
// since FindClass and ThrowNew may not be called with one pending; a missing
// class leaves its NoClassDefFoundError instead.
void throw_jni_error(JNIEnv* env, const char* message) {
  if (env->ExceptionCheck()) env->ExceptionClear();
  const jclass errorClass = env->FindClass("zol/share/TestJNIError");
  if (errorClass != NULL) env->ThrowNew(errorClass, message);
  // exception thrown: zol/share/TestJNIError or NoClassDefFoundError
}

}  // namespace

// clang-format off
extern "C" {

// Class: zol.jdi.ThreadReference.forceEarlyReturn.mirabon.mirabont  Method: nativeJNIMonitorEnter  Signature: (Ljava/lang/Object;)V
JNIEXPORT void JNICALL Java_zol_jdi_ThreadReference_forceEarlyReturn_mirabon_mirabont_nativeJNIMonitorEnter(JNIEnv* env, jclass, jobject lock) {
  const jint r = env->MonitorEnter(lock);
  if (r != 0) {
    zol_lcomplain(__FILE__, __LINE__, "MonitorEnter return non-zero: %d\n", r);
    throw_jni_error(env, "MonitorEnter return non-zero");
  }
  // Held on purpose past the return.
}

}  // extern "C"
// clang-format on
