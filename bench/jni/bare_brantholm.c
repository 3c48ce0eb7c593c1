/* The floor for brantholm's CheckSum and CheckCompare: every JNI call of the
 * two natives in their order, exception checks included (their results
 * unused), and their work on the string: the character buffer of the UTF
 * length, the low bytes copied into it inside the critical region, the digest
 * summed from it after the release, the buffer freed, the working copy. No
 * null or length checks (the benchmark's strings are ASCII, so the UTF length
 * is the length), CheckCompare's compare without its output, no counter.
 * Built as a libbrantholm.so of its own in the benchmark's directory. */

#include <jni.h>

#include <stddef.h>
#include <stdlib.h>
#include <string.h>

/* Blocks of 16 with a fixed inner count, so that -O2 vectorises them. */
static void copy_low_bytes(unsigned char* restrict buffer, const jchar* restrict chars, size_t length) {
  size_t i = 0;
  for (; i + 16 <= length; i += 16) {
    for (size_t k = 0; k < 16; k++) buffer[i + k] = (unsigned char)chars[i + k];
  }
  for (; i < length; i++) buffer[i] = (unsigned char)chars[i];
}

/* Class: zol.stress.jni.JNIter004  Method: CheckSum  Signature: (Ljava/lang/String;)[C */
JNIEXPORT jcharArray JNICALL Java_zol_stress_jni_JNIter004_CheckSum(JNIEnv* env, jobject self, jstring str) {
  const size_t length = (size_t)(*env)->GetStringUTFLength(env, str);
  (*env)->ExceptionOccurred(env);
  unsigned char digest[16] = {0};
  unsigned char* buffer = malloc(length);
  (*env)->MonitorEnter(env, self);
  (*env)->ExceptionOccurred(env);
  jchar* working = malloc(16);
  (*env)->ExceptionOccurred(env);
  const jchar* chars = (*env)->GetStringCritical(env, str, NULL);
  (*env)->ExceptionOccurred(env);
  copy_low_bytes(buffer, chars, length);
  (*env)->ReleaseStringCritical(env, str, chars);
  (*env)->ExceptionOccurred(env);
  size_t i = 0;
  for (; i + 16 <= length; i += 16) {
    for (size_t k = 0; k < 16; k++) digest[k] = (unsigned char)(digest[k] + buffer[i + k]);
  }
  for (; i < length; i++) digest[i % 16] = (unsigned char)(digest[i % 16] + buffer[i]);
  free(buffer);
  (*env)->ExceptionOccurred(env);
  memcpy(working, digest, 16); /* NOLINT(clang-analyzer-security.insecureAPI.DeprecatedOrUnsafeBufferHandling) */
  jcharArray arr = (*env)->NewCharArray(env, 8);
  (*env)->ExceptionOccurred(env);
  const jsize n = (*env)->GetArrayLength(env, arr);
  (*env)->ExceptionOccurred(env);
  (*env)->SetCharArrayRegion(env, arr, 0, n, working);
  (*env)->ExceptionOccurred(env);
  free(working);
  (*env)->MonitorExit(env, self);
  (*env)->ExceptionOccurred(env);
  return arr;
}

/* Class: zol.stress.jni.JNIter004  Method: CheckCompare  Signature: (Ljava/lang/String;[CI)Z */
JNIEXPORT jboolean JNICALL Java_zol_stress_jni_JNIter004_CheckCompare(JNIEnv* env, jobject self, jstring str,
                                                                      jcharArray sum, jint limit) {
  (void)limit;
  unsigned char digest[16] = {0};
  const size_t length = (size_t)(*env)->GetStringUTFLength(env, str);
  (*env)->ExceptionOccurred(env);
  unsigned char* buffer = malloc(length);
  const jsize n = (*env)->GetArrayLength(env, sum);
  (*env)->ExceptionOccurred(env);
  (*env)->MonitorEnter(env, self);
  (*env)->ExceptionOccurred(env);
  jchar* working = malloc(16);
  (*env)->ExceptionOccurred(env);
  const jchar* chars = (*env)->GetStringCritical(env, str, NULL);
  (*env)->ExceptionOccurred(env);
  copy_low_bytes(buffer, chars, length);
  (*env)->ReleaseStringCritical(env, str, chars);
  (*env)->ExceptionOccurred(env);
  /* Every position i < length adds the byte at i mod 16: length additions,
   * blocks of 16 as above. */
  size_t i = 0;
  for (; i + 16 <= length; i += 16) {
    for (size_t k = 0; k < 16; k++) digest[k] = (unsigned char)(digest[k] + buffer[k]);
  }
  for (; i < length; i++) digest[i % 16] = (unsigned char)(digest[i % 16] + buffer[i % 16]);
  free(buffer);
  (*env)->ExceptionOccurred(env);
  memcpy(working, digest, 16); /* NOLINT(clang-analyzer-security.insecureAPI.DeprecatedOrUnsafeBufferHandling) */
  jchar* elems = (*env)->GetPrimitiveArrayCritical(env, sum, NULL);
  (*env)->ExceptionOccurred(env);
  /* The compare without its lines: the answer depends on the digest, so the
   * compiler must compute it. */
  jboolean result = JNI_TRUE;
  for (jsize j = 0; j < n && j < 8; j++) {
    if (elems[j] != working[j]) result = JNI_FALSE;
  }
  (*env)->ReleasePrimitiveArrayCritical(env, sum, elems, 0);
  (*env)->ExceptionOccurred(env);
  free(working);
  (*env)->MonitorExit(env, self);
  (*env)->ExceptionOccurred(env);
  return result;
}
