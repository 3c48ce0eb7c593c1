// A JNIEnv whose calls are checked: after each wrapped JNI function the
// environment is asked for a pending exception and, where the function returns
// a reference, an identifier or a pointer, the result is tested for null. A
// failed check goes to the error handler chosen at construction, so the caller
// carries no error handling of its own.
//
// Included by one source file per library: everything here is file-local.
#ifndef ZOL_SHARE_GC_LOCK_JNI_CHECKEDJNIENV_H
#define ZOL_SHARE_GC_LOCK_JNI_CHECKEDJNIENV_H

#include <jni.h>

#include <climits>
#include <cstdio>
#include <cstdlib>

// Each locker library includes this from its one source file, and every
// definition stays file-local to that library on purpose.
// NOLINTBEGIN(cert-dcl59-cpp,misc-definitions-in-headers)
namespace {

// Receives the wrapped env and a message that lives only for the call.
using JniErrorHandler = void (*)(JNIEnv* env, const char* message);

const char kReturnIsNull[] = "Return is NULL";

class CheckedJniEnv {
 public:
  // A null handler makes every failed check silent.
  CheckedJniEnv(JNIEnv* env, JniErrorHandler error_handler) : env_(env), error_handler_(error_handler) {}
  CheckedJniEnv(const CheckedJniEnv&) = delete;
  CheckedJniEnv& operator=(const CheckedJniEnv&) = delete;

  jclass GetObjectClass(jobject obj) { return check_call("GetObjectClass", env_->GetObjectClass(obj)); }

  jfieldID GetFieldID(jclass cls, const char* name, const char* signature) {
    return check_call("GetFieldID", env_->GetFieldID(cls, name, signature));
  }

  jobject GetObjectField(jobject obj, jfieldID field) {
    return check_call("GetObjectField", env_->GetObjectField(obj, field));
  }

  // Inside the region that this opens, the check calls ExceptionCheck only.
  void* GetPrimitiveArrayCritical(jarray array, jboolean* is_copy) {
    return check_call("GetPrimitiveArrayCritical", env_->GetPrimitiveArrayCritical(array, is_copy));
  }

  void SetObjectField(jobject obj, jfieldID field, jobject value) {
    env_->SetObjectField(obj, field, value);
    check_exception("SetObjectField");
  }

  // A length of 0 is a valid answer, so only the exception is checked.
  jsize GetArrayLength(jarray array) {
    const jsize length = env_->GetArrayLength(array);
    check_exception("GetArrayLength");
    return length;
  }

  void ReleasePrimitiveArrayCritical(jarray array, void* elements, jint mode) {
    env_->ReleasePrimitiveArrayCritical(array, elements, mode);
    check_exception("ReleasePrimitiveArrayCritical");
  }

 private:
  // The result goes back unchanged whether the check passed or not.
  template <typename T>
  T check_call(const char* function, T result) {
    check_result(function, result == nullptr ? kReturnIsNull : nullptr);
    return result;
  }

  // A pending exception is reported by the function name alone, before and
  // instead of the null test. Whether it was pending before the call is not
  // asked.
  void check_result(const char* function, const char* failure) {
    if (env_->ExceptionCheck()) {
      report(function);
      return;
    }
    if (failure == nullptr) return;
    // Length plus one must stay a positive int; a failed or overflowing
    // measure falls back to the bare failure text.
    const int length = snprintf(nullptr, 0, "%s : %s", function, failure);
    if (length >= 0 && length < INT_MAX) {
      const size_t size = static_cast<size_t>(length) + 1;
      char* text = static_cast<char*>(malloc(size));
      if (text != nullptr) {
        snprintf(text, size, "%s : %s", function, failure);
        report(text);
        free(text);
        return;
      }
    }
    report(failure);
  }

  void check_exception(const char* function) {
    if (env_->ExceptionCheck()) report(function);
  }

  void report(const char* message) {
    if (error_handler_ != nullptr) error_handler_(env_, message);
  }

  JNIEnv* const env_;
  const JniErrorHandler error_handler_;
};

// Prints the pending exception, if any, and ends the virtual machine with the
// message.
void fatal_error_handler(JNIEnv* env, const char* message) {
  if (env->ExceptionCheck()) env->ExceptionDescribe();
  env->FatalError(message);
}

}  // namespace
// NOLINTEND(cert-dcl59-cpp,misc-definitions-in-headers)

#endif  // ZOL_SHARE_GC_LOCK_JNI_CHECKEDJNIENV_H
