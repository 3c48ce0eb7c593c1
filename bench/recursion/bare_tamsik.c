/* The floor for tamsik's recursion depth: its JNI calls in their order, made
 * bare (no trace, no verification, no exception check), in C so that
 * CallVoidMethod is the function table's own entry. Only what the step after
 * the call back needs stays across it: env, the receiver and the depth.
 * Built as a libtamsik.so of its own in the benchmark's directory. */

#include <jni.h>

/* Class: zol.stress.strace.tamsikThread  Method: recursiveMethod2  Signature: ()V */
JNIEXPORT void JNICALL Java_zol_stress_strace_tamsikThread_recursiveMethod2(JNIEnv* env, jobject obj) {
  jclass testClass = (*env)->FindClass(env, "zol/stress/strace/tamsik");
  jclass threadClass = (*env)->GetObjectClass(env, obj);
  jfieldID field = (*env)->GetFieldID(env, threadClass, "currentDepth", "I");
  const jint depth = (*env)->GetIntField(env, obj, field);
  field = (*env)->GetFieldID(env, threadClass, "currentDepth", "I");
  (*env)->SetIntField(env, obj, field, (jint)((unsigned)depth + 1u));
  field = (*env)->GetStaticFieldID(env, testClass, "DEPTH", "I");
  if ((jint)((unsigned)(*env)->GetStaticIntField(env, testClass, field) - ((unsigned)depth + 1u)) > 0) {
    jmethodID method = (*env)->GetMethodID(env, threadClass, "recursiveMethod1", "()V");
    (*env)->CallVoidMethod(env, obj, method);
  }
  threadClass = (*env)->GetObjectClass(env, obj);
  field = (*env)->GetFieldID(env, threadClass, "currentDepth", "I");
  (*env)->SetIntField(env, obj, field, depth);
}
