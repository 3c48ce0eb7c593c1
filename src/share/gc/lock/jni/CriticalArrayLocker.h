// criticalNative of the critical array lockers, one library per element type.
//
// The locker object's field obj holds a primitive array. For run_ms (in whole
// seconds) the native enters a critical region on it, folds every element
// into a checksum that is carried from pass to pass, pauses inside the region,
// leaves it and pauses again, so that the collector is kept locked out for
// long stretches. obj is null while this runs and holds the array again on
// return. Every JNI call is checked: a failed one ends the process.
//
// Included by one source file per library: everything here is file-local.
#ifndef ZOL_SHARE_GC_LOCK_JNI_CRITICALARRAYLOCKER_H
#define ZOL_SHARE_GC_LOCK_JNI_CRITICALARRAYLOCKER_H

#include <jni.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <ctime>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

#include "share/gc/lock/jni/CheckedJniEnv.h"

// Each locker library includes this from its one source file, and every
// definition stays file-local to that library on purpose.
// NOLINTBEGIN(cert-dcl59-cpp,misc-definitions-in-headers)
namespace {

// Looked up once per library image and kept. Threads that make their first
// call at the same time may each look it up; they store the same identifier.
std::atomic<jfieldID> obj_field{nullptr};

// pause_ms is taken as an unsigned 32-bit count: below 0 counts as 0, 2^32
// and above is the largest count. Every pause sleeps, a pause of 0 too, so
// each pass yields the CPU inside the region as well as outside it. A signal
// does not cut the pause short.
void pause(jlong pause_ms) {
  const uint32_t ms = pause_ms <= 0                               ? 0
                      : pause_ms > static_cast<jlong>(UINT32_MAX) ? UINT32_MAX
                                                                  : static_cast<uint32_t>(pause_ms);
#ifdef _WIN32
  // Sleep takes the count as it is, except that its largest value
  // (INFINITE) never returns: that one is slept in two parts.
  if (ms == INFINITE) {
    Sleep(INFINITE - 1);
    Sleep(1);
  } else {
    Sleep(ms);
  }
#else
  timespec request = {static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  timespec remaining = {0, 0};
  while (nanosleep(&request, &remaining) != 0 && errno == EINTR) request = remaining;
#endif
}

template <typename Element, typename Result, Result (*Fold)(Result, Element)>
Result critical_native(JNIEnv* jni_env, jobject self, jlong run_ms, jlong pause_ms) {
  CheckedJniEnv env(jni_env, fatal_error_handler);
  // fatal_error_handler does not return; the null tests keep a handler that
  // did from reading through null.
  jfieldID field = obj_field.load(std::memory_order_relaxed);
  if (field == nullptr) {
    // The class reference is local and goes with the call.
    jclass cls = env.GetObjectClass(self);
    field = env.GetFieldID(cls, "obj", "Ljava/lang/Object;");
    if (field == nullptr) return Result();
    obj_field.store(field, std::memory_order_relaxed);
  }
  const jarray array = static_cast<jarray>(env.GetObjectField(self, field));
  if (array == nullptr) return Result();
  env.SetObjectField(self, field, nullptr);
  const int64_t length = env.GetArrayLength(array);

  Result checksum = Result();
  const int64_t start = time(nullptr);
  const int64_t limit = run_ms / 1000;
  // Starting from 0, the first test always holds: at least one pass runs.
  int64_t current = 0;
  while (current - start < limit) {
    const Element* elements = static_cast<const Element*>(env.GetPrimitiveArrayCritical(array, nullptr));
    if (elements == nullptr) break;
    for (int64_t i = 0; i < length; i++) checksum = Fold(checksum, elements[i]);
    pause(pause_ms);
    // The elements are unchanged, so mode 0 copies back what was there.
    env.ReleasePrimitiveArrayCritical(array, const_cast<Element*>(elements), 0);
    pause(pause_ms);
    current = time(nullptr);
  }
  env.SetObjectField(self, field, array);
  return checksum;
}

}  // namespace
// NOLINTEND(cert-dcl59-cpp,misc-definitions-in-headers)

#endif  // ZOL_SHARE_GC_LOCK_JNI_CRITICALARRAYLOCKER_H
