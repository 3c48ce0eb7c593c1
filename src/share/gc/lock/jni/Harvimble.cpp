// Critical array locker over a float array; the checksum is the sum of the
// elements read, rounded to single precision at every addition.

#include <jni.h>

#include "share/gc/lock/jni/CriticalArrayLocker.h"

namespace {

// Each sum is rounded to single precision, as Java float addition is.
jfloat fold_add(jfloat checksum, jfloat element) { return static_cast<jfloat>(checksum + element); }

}  // namespace

extern "C" {

// Class: zol.share.gc.lock.jni.Harvimble  Method: criticalNative  Signature: (JJ)F
JNIEXPORT jfloat JNICALL Java_zol_share_gc_lock_jni_Harvimble_criticalNative(JNIEnv* env, jobject self, jlong run_ms,
                                                                             jlong pause_ms) {
  return critical_native<jfloat, jfloat, fold_add>(env, self, run_ms, pause_ms);
}

}  // extern "C"
