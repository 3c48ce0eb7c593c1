// Native half of the early-return test's thread in native code.
//
// nativeMethod marks the object it is given, so the Java side can see that
// the thread has reached native code, and then never returns: the thread's
// topmost frame stays this native frame, running, until the process ends.
// The spin makes no JNI call and holds nothing of the JVM's, so the JVM can
// reach its safepoints and exit while the thread is still in here.

#include <jni.h>

extern "C" {

// Class: zol.jdwp.ThreadReference.ForceEarlyReturn.ulmapin.ulmapine  Method: nativeMethod  Signature:
// (Ljava/lang/Object;)V
JNIEXPORT void JNICALL Java_zol_jdwp_ThreadReference_ForceEarlyReturn_ulmapin_ulmapine_nativeMethod(JNIEnv* env,
                                                                                                    jobject,
                                                                                                    jobject obj) {
  if (obj == NULL) {
    // GetObjectClass(NULL) would crash the JVM, which reads as a VM bug; the
    // caller gets the exception instead of a spin.
    jclass npe = env->FindClass("java/lang/NullPointerException");
    if (npe != NULL) env->ThrowNew(npe, "nativeMethod: the object is null");
    return;  // exception thrown: NullPointerException (or FindClass's error)
  }
  jclass objClass = env->GetObjectClass(obj);
  jfieldID threadInNative = env->GetFieldID(objClass, "threadInNative", "Z");
  // Without the field there is nothing to mark and nobody would see the
  // thread arrive; the caller gets the NoSuchFieldError instead of a spin.
  if (threadInNative == NULL) return;  // exception thrown: NoSuchFieldError
  env->SetBooleanField(obj, threadInNative, JNI_TRUE);

  // The flag is read on every pass, so the compiler can neither drop the
  // loop nor prove that it ends; nothing ever clears it.
  volatile bool spinning = true;
  while (spinning) {
  }
}

}  // extern "C"
