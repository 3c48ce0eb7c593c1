// Critical array locker over a short array; the checksum is the 16-bit
// exclusive or of the elements read.

#include <jni.h>

#include "share/gc/lock/jni/CriticalArrayLocker.h"

namespace {

jshort fold_xor(jshort checksum, jshort element) { return static_cast<jshort>(checksum ^ element); }

}  // namespace

extern "C" {

// Class: zol.share.gc.lock.jni.Justrelo  Method: criticalNative  Signature: (JJ)S
JNIEXPORT jshort JNICALL Java_zol_share_gc_lock_jni_Justrelo_criticalNative(JNIEnv* env, jobject self, jlong run_ms,
                                                                            jlong pause_ms) {
  return critical_native<jshort, jshort, fold_xor>(env, self, run_ms, pause_ms);
}

}  // extern "C"
