// Native half of the JNIter005 exception stress test.
//
// except throws the throwable it is given and catches it again in native
// code, under the receiver's monitor, then raises a fresh exception of the
// next class of a fixed table of standard exceptions, so that the Java caller
// receives that one. A process-wide count of successful throws picks the
// class and samples a trace line. If the fresh exception cannot be raised,
// the Java class is told through its static setpass(false). An exception
// that nobody expects ends the process with status 97.

#include <jni.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace {

const char* const kExceptions[] = {
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
constexpr jint kExceptionCount = sizeof(kExceptions) / sizeof(kExceptions[0]);

// Successful throws so far. Relaxed is enough: only the count is shared, and
// the class choice reads it after the monitor is gone anyway.
std::atomic<jint> throwCount{0};

const char* exception_for(jint count) {
  // C remainder: once the count has wrapped to negative values it falls
  // outside the table.
  const jint index = count % kExceptionCount;
  return index >= 0 ? kExceptions[index] : "java/lang/Exception";
}

void exit_on_exception(JNIEnv* env) {
  if (env->ExceptionOccurred() == NULL) return;
  fprintf(stderr, "Unexpected exception:\n");
  env->ExceptionDescribe();
  env->ExceptionClear();
  exit(97);
}

}  // namespace

extern "C" {

// Class: zol.stress.jni.JNIter005  Method: except  Signature: (Ljava/lang/Throwable;)V
JNIEXPORT void JNICALL Java_zol_stress_jni_JNIter005_except(JNIEnv* env, jobject self, jthrowable tobj) {
  env->MonitorEnter(self);
  exit_on_exception(env);
  // A null throwable cannot be thrown; Throw itself would read through it, so
  // it takes the failed-throw path without the call.
  if (tobj == NULL || env->Throw(tobj) != 0) {
    fprintf(stderr, "Throw failed\n");
  } else {
    const bool caught = env->ExceptionOccurred() != NULL;
    env->ExceptionClear();
    // The count before this throw: the 1st, 1001st, ... throw is traced, once
    // each even when callers race.
    const jint before = throwCount.fetch_add(1, std::memory_order_relaxed);
    if (caught && before % 1000 == 0) fprintf(stderr, "NATIVE: Throw has been catched in native\n");
  }
  env->MonitorExit(self);
  exit_on_exception(env);

  const char* name = exception_for(throwCount.load(std::memory_order_relaxed));
  exit_on_exception(env);
  jclass cls = env->FindClass(name);
  exit_on_exception(env);
  // The class name is the message too; on success it stays pending for the caller.
  if (env->ThrowNew(cls, name) == 0) return;

  fprintf(stderr, "ThrowNew failed\n");
  exit_on_exception(env);
  cls = env->FindClass("zol/stress/jni/JNIter005");
  exit_on_exception(env);
  jmethodID mid = env->GetStaticMethodID(cls, "setpass", "(Z)V");
  exit_on_exception(env);
  env->CallStaticVoidMethod(cls, mid, JNI_FALSE);
  exit_on_exception(env);
}

}  // extern "C"
