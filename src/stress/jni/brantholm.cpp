// Native half of the JNIter004 string stress test.
//
// CheckSum reduces a string to a 16-byte digest, handed back as eight chars;
// CheckCompare recomputes the digest and compares it with such an array,
// printing every pair. Both read the string inside a critical region and hold
// the receiver's monitor for the whole computation, so that calls on one
// receiver run one at a time while calls on other receivers race them.
// CheckCompare also counts its calls for the whole process: every 500th
// prints a progress line, the call that reaches the caller's limit calls the
// Java class's static halt(), and calls once the count is past the limit are
// refused.
//
// The digest is summed straight out of the string's critical region: the
// character buffer of low bytes that the digest is defined over is never
// made, which leaves the natives little work of their own beside the JNI
// calls (CheckCompare's digest needs only the first 16 units).
//
// An exception found after a JNI call ends the VM through FatalError; the two
// checks after plain memory work only describe and clear what they find.

#include <jni.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t kDigestBytes = 16;
constexpr jsize kDigestUnits = kDigestBytes / 2;

// Eight 16-bit lanes, half of the digest's positions. A lane adds whole units
// with wrap-around: its low byte is then the sum of their low bytes modulo
// 256, the digest byte, with no narrowing on the way.
typedef jchar Lanes8 __attribute__((vector_size(kDigestBytes)));

// Calls of CheckCompare that got past the limit test. Relaxed is enough: only
// the count itself is shared, and each caller acts on the value it made.
std::atomic<jint> compareCount{0};

// Ends the VM without writing through a null pointer. FatalError aborts
// without flushing stdio, so what the calls printed so far is flushed first.
[[noreturn]] void fail(JNIEnv* env, const char* message) {
  fflush(stdout);
  env->FatalError(message);
  abort();  // FatalError does not return
}

void check_fatal(JNIEnv* env) {
  if (env->ExceptionOccurred() == NULL) return;
  puts("Unexpected JNI exception. TEST FAIL.");
  fflush(stdout);
  env->ExceptionDescribe();
  env->ExceptionClear();
  fail(env, "Unexpected JNI Exception. TEST FAIL.");
}

// After plain memory work nothing should be pending; whatever is goes.
void check_quiet(JNIEnv* env) {
  if (env->ExceptionOccurred() == NULL) return;
  env->ExceptionDescribe();
  env->ExceptionClear();
}

// Every JNI call the natives make with a null string or array would read
// through it; the VM ends with the reason instead.
void require(JNIEnv* env, const void* ref, const char* failure) {
  if (ref == NULL) fail(env, failure);
}

void* allocate(JNIEnv* env, size_t bytes, const char* failure) {
  void* block = malloc(bytes > 0 ? bytes : 1);
  if (block == NULL) fail(env, failure);
  return block;
}

// The string's UTF length, the length of the byte string that the digest is
// defined over, and its length in UTF-16 units, which bounds what the critical
// region may be read for: the two differ for characters outside
// U+0001..U+007F, and bytes past the last unit count as zero. Both are
// indices in size_t: a length near 2^31 - 1 must not overflow a jsize bound.
struct Sizes {
  size_t utf;
  size_t units;
  size_t readable() const { return units < utf ? units : utf; }
};

size_t length(jsize n) { return n > 0 ? static_cast<size_t>(n) : 0; }

Sizes string_sizes(JNIEnv* env, jstring str) {
  Sizes sizes;
  sizes.utf = length(env->GetStringUTFLength(str));
  check_fatal(env);
  sizes.units = length(env->GetStringLength(str));
  return sizes;
}

jchar* allocate_working_copy(JNIEnv* env) {
  jchar* working = static_cast<jchar*>(allocate(env, kDigestBytes, "brantholm: no memory for the working copy"));
  check_quiet(env);
  return working;
}

// The sums of the low bytes of the string's first count units by position
// modulo 16, into digest, read inside the string's critical region; count is
// at most the string's units. Only the exception check runs inside the region
// besides the sum. Reading the region once at the speed of memory is all a
// long string costs beyond the JNI calls.
void sum_low_bytes(JNIEnv* env, jstring str, size_t count, unsigned char digest[kDigestBytes]) {
  const jchar* chars = env->GetStringCritical(str, NULL);
  check_fatal(env);
  if (chars == NULL) fail(env, "brantholm: GetStringCritical returned NULL");
  // Two blocks of 16 units at a time, in separate lanes, so that the adds do
  // not wait on each other.
  Lanes8 low = {0}, high = {0}, low2 = {0}, high2 = {0};
  size_t i = 0;
  for (; count - i >= 2 * kDigestBytes; i += 2 * kDigestBytes) {
    Lanes8 a, b, c, d;
    memcpy(&a, chars + i, sizeof a);
    memcpy(&b, chars + i + kDigestBytes / 2, sizeof b);
    memcpy(&c, chars + i + kDigestBytes, sizeof c);
    memcpy(&d, chars + i + 3 * kDigestBytes / 2, sizeof d);
    low += a;
    high += b;
    low2 += c;
    high2 += d;
  }
  low += low2;
  high += high2;
  jchar lanes[kDigestBytes];
  memcpy(lanes, &low, sizeof low);
  memcpy(lanes + kDigestBytes / 2, &high, sizeof high);
  for (; i < count; i++) lanes[i % kDigestBytes] = static_cast<jchar>(lanes[i % kDigestBytes] + chars[i]);
  env->ReleaseStringCritical(str, chars);
  check_fatal(env);
  for (size_t k = 0; k < kDigestBytes; k++) digest[k] = static_cast<unsigned char>(lanes[k]);
}

void monitor_exit(JNIEnv* env, jobject self) {
  env->MonitorExit(self);
  check_fatal(env);
}

}  // namespace

extern "C" {

// Class: zol.stress.jni.JNIter004  Method: CheckSum  Signature: (Ljava/lang/String;)[C
JNIEXPORT jcharArray JNICALL Java_zol_stress_jni_JNIter004_CheckSum(JNIEnv* env, jobject self, jstring str) {
  require(env, str, "brantholm: CheckSum: the string is null");
  const Sizes sizes = string_sizes(env, str);
  unsigned char digest[kDigestBytes];
  env->MonitorEnter(self);
  check_fatal(env);
  jchar* working = allocate_working_copy(env);
  sum_low_bytes(env, str, sizes.readable(), digest);
  check_quiet(env);  // where the character buffer would be freed
  memcpy(working, digest, kDigestBytes);

  jcharArray arr = env->NewCharArray(kDigestUnits);
  check_fatal(env);
  jsize n = env->GetArrayLength(arr);
  check_fatal(env);
  if (n > kDigestUnits) n = kDigestUnits;
  env->SetCharArrayRegion(arr, 0, n, working);
  check_fatal(env);
  free(working);
  monitor_exit(env, self);
  return arr;
}

// Class: zol.stress.jni.JNIter004  Method: CheckCompare  Signature: (Ljava/lang/String;[CI)Z
JNIEXPORT jboolean JNICALL Java_zol_stress_jni_JNIter004_CheckCompare(JNIEnv* env, jobject self, jstring str,
                                                                      jcharArray sum, jint limit) {
  require(env, str, "brantholm: CheckCompare: the string is null");
  require(env, sum, "brantholm: CheckCompare: the sum array is null");
  jboolean result = JNI_TRUE;
  unsigned char digest[kDigestBytes] = {0};
  const Sizes sizes = string_sizes(env, str);
  const jsize n = env->GetArrayLength(sum);
  check_fatal(env);
  env->MonitorEnter(self);
  check_fatal(env);
  // Strictly greater: the call after the one that reached the limit still runs.
  if (compareCount.load(std::memory_order_relaxed) > limit) {
    monitor_exit(env, self);
    return JNI_FALSE;
  }
  jchar* working = allocate_working_copy(env);
  // Unlike CheckSum, every position past the 16th adds the byte at its
  // position modulo 16 again; both agree for strings of up to 16 bytes. So
  // position k ends as its byte times the count of positions i < L with
  // i mod 16 = k, all modulo 256, and only the first 16 bytes are read.
  unsigned char bytes[kDigestBytes];
  const size_t readable = sizes.readable();
  sum_low_bytes(env, str, readable < kDigestBytes ? readable : kDigestBytes, bytes);
  for (size_t k = 0; k < kDigestBytes && k < sizes.utf; k++) {
    const size_t times = sizes.utf / kDigestBytes + (k < sizes.utf % kDigestBytes ? 1 : 0);
    digest[k] = static_cast<unsigned char>(bytes[k] * times);
  }
  check_quiet(env);  // where the character buffer would be freed
  memcpy(working, digest, kDigestBytes);

  const jchar* elems = static_cast<const jchar*>(env->GetPrimitiveArrayCritical(sum, NULL));
  check_fatal(env);
  if (elems == NULL) fail(env, "brantholm: GetPrimitiveArrayCritical returned NULL");
  printf("Comparing: ");
  for (jsize j = 0; j < n; j++) {
    // Units past the digest's eight count as zero, so a longer array still
    // gets every element compared and printed.
    const unsigned a = elems[j];
    const unsigned b = j < kDigestUnits ? working[j] : 0;
    if (a != b) {
      printf("Error in %d\n", static_cast<int>(j));
      result = JNI_FALSE;
    }
    printf("ch[%d]=%02x tmp[%d]=%02x\n", static_cast<int>(j), a, static_cast<int>(j), b);
  }
  printf("\n");
  env->ReleasePrimitiveArrayCritical(sum, const_cast<jchar*>(elems), 0);
  check_fatal(env);
  free(working);

  // Each caller acts on the count it made, so no multiple of 500 and no limit
  // is seen twice or missed when callers on other receivers race.
  const jint count =
      static_cast<jint>(static_cast<uint32_t>(compareCount.fetch_add(1, std::memory_order_relaxed)) + 1u);
  if (count % 500 == 0) fprintf(stderr, "There are %d elements now.\n", static_cast<int>(count));
  if (count == limit) {
    jclass cls = env->GetObjectClass(self);
    check_fatal(env);
    jmethodID mid = env->GetStaticMethodID(cls, "halt", "()V");
    check_fatal(env);
    env->CallStaticVoidMethod(cls, mid);
    check_fatal(env);
    result = JNI_TRUE;
  }
  monitor_exit(env, self);
  return result;
}

}  // extern "C"
