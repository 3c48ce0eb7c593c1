// Baseline for the recursion benchmark: the vostrel native with its three JNI
// calls made bare, without trace, verification or exception check. Built as
// a libvostrel.so of its own in the benchmark's directory.

#include <jni.h>

extern "C" {

// Class: zol.stress.strace.vostrelThread  Method: recursiveMethod2  Signature: ()V
JNIEXPORT void JNICALL Java_zol_stress_strace_vostrelThread_recursiveMethod2(JNIEnv* env, jobject obj) {
  jclass threadClass = env->GetObjectClass(obj);
  jmethodID method = env->GetMethodID(threadClass, "recursiveMethod1", "()V");
  env->CallVoidMethod(obj, method);
}

}  // extern "C"
