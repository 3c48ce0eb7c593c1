// Critical array locker over a double array; the checksum is the sum of the
// elements read.

#include <jni.h>

#include "share/gc/lock/jni/CriticalArrayLocker.h"

namespace {

jdouble fold_add(jdouble checksum, jdouble element) { return checksum + element; }

}  // namespace

extern "C" {

// Class: zol.share.gc.lock.jni.Kestramon  Method: criticalNative  Signature: (JJ)D
JNIEXPORT jdouble JNICALL Java_zol_share_gc_lock_jni_Kestramon_criticalNative(JNIEnv* env, jobject self, jlong run_ms,
                                                                              jlong pause_ms) {
  return critical_native<jdouble, jdouble, fold_add>(env, self, run_ms, pause_ms);
}

}  // extern "C"
