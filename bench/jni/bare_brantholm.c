/* The floor for brantholm's CheckSum and CheckCompare: every JNI call of the
 * two natives in their order, exception checks included (their results
 * unused), and nothing else: no buffer, no copy, no sum, no compare, no
 * counter and no output. CheckSum hands back eight zero units. Built as a
 * libbrantholm.so of its own in the benchmark's directory. */

#include <jni.h>

#include <stddef.h>

static const jchar zeros[8];

/* Class: zol.stress.jni.JNIter004  Method: CheckSum  Signature: (Ljava/lang/String;)[C */
JNIEXPORT jcharArray JNICALL Java_zol_stress_jni_JNIter004_CheckSum(JNIEnv* env, jobject self, jstring str) {
  (*env)->GetStringUTFLength(env, str);
  (*env)->ExceptionOccurred(env);
  (*env)->MonitorEnter(env, self);
  (*env)->ExceptionOccurred(env);
  (*env)->ExceptionOccurred(env);
  const jchar* chars = (*env)->GetStringCritical(env, str, NULL);
  (*env)->ExceptionOccurred(env);
  (*env)->ReleaseStringCritical(env, str, chars);
  (*env)->ExceptionOccurred(env);
  (*env)->ExceptionOccurred(env);
  jcharArray arr = (*env)->NewCharArray(env, 8);
  (*env)->ExceptionOccurred(env);
  const jsize n = (*env)->GetArrayLength(env, arr);
  (*env)->ExceptionOccurred(env);
  (*env)->SetCharArrayRegion(env, arr, 0, n, zeros);
  (*env)->ExceptionOccurred(env);
  (*env)->MonitorExit(env, self);
  (*env)->ExceptionOccurred(env);
  return arr;
}

/* Class: zol.stress.jni.JNIter004  Method: CheckCompare  Signature: (Ljava/lang/String;[CI)Z */
JNIEXPORT jboolean JNICALL Java_zol_stress_jni_JNIter004_CheckCompare(JNIEnv* env, jobject self, jstring str,
                                                                      jcharArray sum, jint limit) {
  (void)limit;
  (*env)->GetStringUTFLength(env, str);
  (*env)->ExceptionOccurred(env);
  (*env)->GetArrayLength(env, sum);
  (*env)->ExceptionOccurred(env);
  (*env)->MonitorEnter(env, self);
  (*env)->ExceptionOccurred(env);
  (*env)->ExceptionOccurred(env);
  const jchar* chars = (*env)->GetStringCritical(env, str, NULL);
  (*env)->ExceptionOccurred(env);
  (*env)->ReleaseStringCritical(env, str, chars);
  (*env)->ExceptionOccurred(env);
  (*env)->ExceptionOccurred(env);
  void* elems = (*env)->GetPrimitiveArrayCritical(env, sum, NULL);
  (*env)->ExceptionOccurred(env);
  (*env)->ReleasePrimitiveArrayCritical(env, sum, elems, 0);
  (*env)->ExceptionOccurred(env);
  (*env)->MonitorExit(env, self);
  (*env)->ExceptionOccurred(env);
  return JNI_TRUE;
}
