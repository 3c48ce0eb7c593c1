/* The floor for vostrel's recursion depth: its three JNI calls, made bare
 * (no trace, no verification, no exception check), in C so that
 * CallVoidMethod is the function table's own entry, reached by a tail call:
 * nothing of this frame stays on the stack while Java runs. Built as a
 * libvostrel.so of its own in the benchmark's directory. */

#include <jni.h>

/* Class: zol.stress.strace.vostrelThread  Method: recursiveMethod2  Signature: ()V */
JNIEXPORT void JNICALL Java_zol_stress_strace_vostrelThread_recursiveMethod2(JNIEnv* env, jobject obj) {
  jclass threadClass = (*env)->GetObjectClass(env, obj);
  jmethodID method = (*env)->GetMethodID(env, threadClass, "recursiveMethod1", "()V");
  (*env)->CallVoidMethod(env, obj, method);
}
