// Critical array locker over an int array; the checksum is the exclusive or
// of the elements read.

#include <jni.h>

#include "share/gc/lock/jni/CriticalArrayLocker.h"

namespace {

jint fold_xor(jint checksum, jint element) { return checksum ^ element; }

}  // namespace

extern "C" {

// Class: zol.share.gc.lock.jni.Grendalo  Method: criticalNative  Signature: (JJ)I
JNIEXPORT jint JNICALL Java_zol_share_gc_lock_jni_Grendalo_criticalNative(JNIEnv* env, jobject self, jlong run_ms,
                                                                          jlong pause_ms) {
  return critical_native<jint, jint, fold_xor>(env, self, run_ms, pause_ms);
}

}  // extern "C"
