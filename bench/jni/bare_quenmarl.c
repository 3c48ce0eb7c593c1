/* The floor for quenmarl's except: every JNI call of a call whose Throw and
 * ThrowNew succeed, in their order, exception checks included (their results
 * unused), with the same plain throw counter choosing the same classes in
 * turn; no trace line and no other output. Built as a libquenmarl.so of its
 * own in the benchmark's directory. */

#include <jni.h>

static const char* const names[] = {
    "java/lang/ArithmeticException",
    "java/lang/ArrayIndexOutOfBoundsException",
    "java/lang/ArrayStoreException",
    "java/lang/ClassCastException",
    "java/lang/ClassNotFoundException",
    "java/lang/CloneNotSupportedException",
    "java/lang/IllegalAccessException",
    "java/lang/IllegalArgumentException",
    "java/lang/IllegalMonitorStateException",
    "java/lang/IllegalStateException",
    "java/lang/IllegalThreadStateException",
    "java/lang/IndexOutOfBoundsException",
    "java/lang/InstantiationException",
    "java/lang/InterruptedException",
    "java/lang/NegativeArraySizeException",
    "java/lang/NoSuchFieldException",
    "java/lang/NoSuchMethodException",
    "java/lang/NullPointerException",
    "java/lang/NumberFormatException",
    "java/lang/RuntimeException",
    "java/lang/SecurityException",
    "java/lang/StringIndexOutOfBoundsException",
    "java/lang/UnsupportedOperationException",
};

static unsigned count;

/* Class: zol.stress.jni.JNIter005  Method: except  Signature: (Ljava/lang/Throwable;)V */
JNIEXPORT void JNICALL Java_zol_stress_jni_JNIter005_except(JNIEnv* env, jobject self, jthrowable tobj) {
  (*env)->MonitorEnter(env, self);
  (*env)->ExceptionOccurred(env);
  (*env)->Throw(env, tobj);
  (*env)->ExceptionOccurred(env);
  (*env)->ExceptionClear(env);
  count++;
  (*env)->MonitorExit(env, self);
  (*env)->ExceptionOccurred(env);
  const char* name = names[count % (sizeof names / sizeof names[0])];
  (*env)->ExceptionOccurred(env);
  jclass cls = (*env)->FindClass(env, name);
  (*env)->ExceptionOccurred(env);
  (*env)->ThrowNew(env, cls, name);
}
