// The exception that the JNI monitor-enter natives raise when a monitor
// operation fails, next to their complaint.
#ifndef SHARE_LOCKS_JNI_ERROR_H
#define SHARE_LOCKS_JNI_ERROR_H

#include <jni.h>

namespace zol_locks {

// Raises zol/share/TestJNIError with message. Whatever the failed monitor
// call left pending (a NullPointerException for a null lock, an
// IllegalMonitorStateException, or an exception of a call back) is cleared
// first, since FindClass and ThrowNew may not be called with one pending; a
// missing class leaves its NoClassDefFoundError instead.
inline void throw_jni_error(JNIEnv* env, const char* message) {
  if (env->ExceptionCheck()) env->ExceptionClear();
  jclass errorClass = env->FindClass("zol/share/TestJNIError");
  if (errorClass != NULL) env->ThrowNew(errorClass, message);
  // exception thrown: zol/share/TestJNIError or NoClassDefFoundError
}

}  // namespace zol_locks

#endif  // SHARE_LOCKS_JNI_ERROR_H
