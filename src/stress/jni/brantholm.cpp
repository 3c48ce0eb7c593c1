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
// The digest is defined over a character buffer: the low bytes of the
// string's units, copied inside the critical region and summed after it, one
// addition per position. The copy and the sum are the natives' own work, so
// their time grows with the string, in CheckCompare too.
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

// Sixteen string units, and sixteen bytes (one per digest position): whole
// blocks are copied and summed a vector at a time, which keeps a long string's
// time inside the critical region and the monitor no longer than the copy.
typedef jchar Units16 __attribute__((vector_size(2 * kDigestBytes)));
typedef unsigned char Bytes16 __attribute__((vector_size(kDigestBytes)));

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

// The string's UTF length, which sizes the character buffer, and its length in
// UTF-16 units, which bounds what the critical region may be read for: the two
// differ for characters outside U+0001..U+007F. The buffer's bytes past the
// last unit count as zero: nothing is read from them, so nothing is written
// to them. Both are indices in size_t: a length near 2^31 - 1 must not
// overflow a jsize bound.
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

unsigned char* allocate_buffer(JNIEnv* env, Sizes sizes) {
  return static_cast<unsigned char*>(allocate(env, sizes.utf, "brantholm: no memory for the character buffer"));
}

jchar* allocate_working_copy(JNIEnv* env) {
  jchar* working = static_cast<jchar*>(allocate(env, kDigestBytes, "brantholm: no memory for the working copy"));
  check_quiet(env);
  return working;
}

// Fills the buffer with the low bytes of the string's readable units inside
// its critical region, where only the exception check runs besides the copy.
void copy_low_bytes(JNIEnv* env, jstring str, Sizes sizes, unsigned char* buffer) {
  const jchar* chars = env->GetStringCritical(str, NULL);
  check_fatal(env);
  if (chars == NULL) fail(env, "brantholm: GetStringCritical returned NULL");
  const size_t copied = sizes.readable();
  size_t i = 0;
  for (; copied - i >= kDigestBytes; i += kDigestBytes) {
    Units16 units;
    memcpy(&units, chars + i, sizeof units);
    const Bytes16 low = __builtin_convertvector(units, Bytes16);
    memcpy(buffer + i, &low, sizeof low);
  }
  for (; i < copied; i++) buffer[i] = static_cast<unsigned char>(chars[i]);
  env->ReleaseStringCritical(str, chars);
  check_fatal(env);
}

void free_buffer(JNIEnv* env, unsigned char* buffer) {
  free(buffer);
  check_quiet(env);
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
  unsigned char* buffer = allocate_buffer(env, sizes);
  env->MonitorEnter(self);
  check_fatal(env);
  jchar* working = allocate_working_copy(env);
  copy_low_bytes(env, str, sizes, buffer);

  // Whole blocks of 16 first: one byte lane per digest position. The bytes
  // past the readable units would add nothing.
  const size_t summed = sizes.readable();
  Bytes16 lanes = {0};
  size_t i = 0;
  for (; summed - i >= kDigestBytes; i += kDigestBytes) {
    Bytes16 block;
    memcpy(&block, buffer + i, sizeof block);
    lanes += block;
  }
  memcpy(digest, &lanes, sizeof lanes);
  for (; i < summed; i++) digest[i % kDigestBytes] = static_cast<unsigned char>(digest[i % kDigestBytes] + buffer[i]);
  free_buffer(env, buffer);
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
  unsigned char* buffer = allocate_buffer(env, sizes);
  const jsize n = env->GetArrayLength(sum);
  check_fatal(env);
  env->MonitorEnter(self);
  check_fatal(env);
  // Strictly greater: the call after the one that reached the limit still runs.
  if (compareCount.load(std::memory_order_relaxed) > limit) {
    free(buffer);
    monitor_exit(env, self);
    return JNI_FALSE;
  }
  jchar* working = allocate_working_copy(env);
  copy_low_bytes(env, str, sizes, buffer);

  // Unlike CheckSum, every position i < L adds the byte at i mod 16, so the
  // first 16 bytes are added again and again, L additions in all; both agree
  // for strings of up to 16 bytes. The additions are made, sixteen lanes a
  // step, not folded into a product: they are the native's work after the
  // region. Bytes past the readable units count as zero.
  const size_t counted = sizes.utf;
  unsigned char first[kDigestBytes] = {0};
  memcpy(first, buffer, sizes.readable() < kDigestBytes ? sizes.readable() : kDigestBytes);
  Bytes16 row;
  memcpy(&row, first, sizeof row);
  Bytes16 lanes = {0};
  size_t i = 0;
  for (; counted - i >= kDigestBytes; i += kDigestBytes) lanes += row;
  memcpy(digest, &lanes, sizeof lanes);
  for (; i < counted; i++)
    digest[i % kDigestBytes] = static_cast<unsigned char>(digest[i % kDigestBytes] + first[i % kDigestBytes]);
  free_buffer(env, buffer);
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
