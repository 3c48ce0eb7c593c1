// Native half of the early-return test's lock holder.
//
// nativeJNIMonitorEnter makes the calling thread own the lock's monitor
// through JNI and returns still owning it: nothing here ever exits it, so
// every successful call adds one entry. The debugger side of the test relies
// on a thread that holds a monitor that no Java frame of it entered.
//
// A failed MonitorEnter is reported twice: a complaint naming this file and
// the line of the call (pinned by the unit tests), and a TestJNIError that
// the caller receives when the method returns.
//
// The monitor is the lock object's own, the one that synchronized blocks on
// it use: MonitorEnter waits while another thread owns it and is re-entrant
// for a thread that owns it already. A synchronized block of the owning
// thread on the same lock therefore leaves the JNI entries in place, and
// other threads stay out. A null lock is not checked here: the JVM's
// MonitorEnter fails for it, and that failure takes the reporting path.
//
// The receiver or class of the native method is not used; there is
// no state but the complaint count of this library image, which
// decides whether a complaint carries the fake stack trace.

#include <jni.h>

#include "share/locks/jni_error.h"
#include "share/native/zol_tools.h"

using zol_locks::throw_jni_error;

// clang-format off
extern "C" {

// Class: zol.jdi.ThreadReference.forceEarlyReturn.mirabon.mirabont  Method: nativeJNIMonitorEnter  Signature: (Ljava/lang/Object;)V
JNIEXPORT void JNICALL Java_zol_jdi_ThreadReference_forceEarlyReturn_mirabon_mirabont_nativeJNIMonitorEnter(JNIEnv* env, jclass, jobject lock) {
  const jint r = env->MonitorEnter(lock);
  if (r != 0) {
    zol_lcomplain(__FILE__, __LINE__, "MonitorEnter return non-zero: %d\n", static_cast<int>(r));
    throw_jni_error(env, "MonitorEnter return non-zero");
  }
  // Held on purpose past the return.
}

}  // extern "C"
// clang-format on
