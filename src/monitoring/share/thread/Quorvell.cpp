// Native half of the nested monitor test.
//
// B, a native method of the test's thread class, enters the monitors of the
// receiver's lock4 and lock5 objects, in that order, calls the receiver's
// Java method C while it owns both, and then exits them in the reverse
// order. So while C runs the thread owns two monitors that native code
// entered, nested inside whatever monitors the Java caller of B holds.
// Nothing is cached: every call looks its classes and members up afresh.
//
// The lookups and the call of C are verified steps. Their trace and
// complaint lines name this file and the line of the step, so the steps stay
// on the lines that the suite's logs refer to (the unit tests pin them).
// After a failed step the complaint has been printed and any exception
// described and cleared; B then returns normally.
//
// Once both monitors are entered, B exits both before it returns, whether C
// could be found and ran cleanly or not: no Java block would ever exit a
// monitor that a native left entered, so the thread would own it for good.

#include <jni.h>

#include "share/jni/jni_tools.h"

namespace {

// Enters the monitor of lock, or throws zol/share/TestBug with message and
// gives false. A MonitorEnter that fails may leave an exception of its own
// pending (a null lock gives a NullPointerException); it is cleared first,
// since ThrowNew may not be called with one pending and the caller is owed
// the TestBug.
bool enter(JNIEnv* env, jobject lock, jclass testBugClass, const char* message) {
  if (env->MonitorEnter(lock) == 0) return true;
  if (env->ExceptionCheck()) env->ExceptionClear();
  env->ThrowNew(testBugClass, message);
  // exception thrown: zol/share/TestBug
  return false;
}

}  // namespace

// clang-format off
extern "C" {

// The order of B's work, as the Java test relies on it:
//
//  1. the receiver's class, the class zol/share/TestBug, and the objects in
//     the receiver's lock4 and lock5, all before any monitor is entered, so
//     that a missing class or field leaves nothing entered and nothing to
//     undo;
//  2. the monitor of lock4, then the one of lock5 nested inside it; the
//     results of MonitorEnter are tested against 0, and a failure raises
//     zol/share/TestBug (for lock5 after lock4 has been exited again);
//  3. C, looked up afresh and called while both monitors are owned; an
//     exception from C is described and cleared by its verified step, so it
//     never reaches the caller of B;
//  4. the monitor of lock5, then the one of lock4, exited on every path
//     that entered both; their results are not looked at, since the thread
//     owns both and nothing is left to do if the JVM disagrees.
//
// Neither MonitorEnter nor MonitorExit nor ThrowNew is traced or verified:
// the log names only the lookups and the call of C.

// Class: zol.monitoring.share.thread.Quorvell$Thread1  Method: B  Signature: ()V
JNIEXPORT void JNICALL Java_zol_monitoring_share_thread_Quorvell_00024Thread1_B(JNIEnv* env, jobject o) {
  jclass threadClass, testBugClass;
  jfieldID field;
  jmethodID method;
  if (!ZOL_JNI_VERIFY(env, (threadClass = env->GetObjectClass(o)) != NULL)) return;
  if (!ZOL_JNI_VERIFY(env, (testBugClass = env->FindClass("zol/share/TestBug")) != NULL)) return;
  if (!ZOL_JNI_VERIFY(env, (field = env->GetFieldID(threadClass, "lock4", "Lzol/monitoring/share/thread/Quorvell$CustomLock;")) != NULL)) { return; } jobject lock4 = env->GetObjectField(o, field);
  if (!ZOL_JNI_VERIFY(env, (field = env->GetFieldID(threadClass, "lock5", "Lzol/monitoring/share/thread/Quorvell$CustomLock;")) != NULL)) { return; } jobject lock5 = env->GetObjectField(o, field);
  if (!enter(env, lock4, testBugClass, "MonitorEnter(lock4) call failed")) return;
  if (!enter(env, lock5, testBugClass, "MonitorEnter(lock5) call failed")) { env->MonitorExit(lock4); return; }
  if (ZOL_JNI_VERIFY(env, (method = env->GetMethodID(threadClass, "C", "()V")) != NULL)) ZOL_JNI_VERIFY_VOID(env, env->CallVoidMethod(o, method));
  env->MonitorExit(lock5);
  env->MonitorExit(lock4);
}

}  // extern "C"
// clang-format on
