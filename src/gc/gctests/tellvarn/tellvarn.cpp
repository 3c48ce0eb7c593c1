// Native half of the tellvarn garbage-collector test: keeps the C heap's
// allocator, and so its lock, busy from this thread for 180 seconds of wall
// clock while the Java side of the test runs.

#include <jni.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>

namespace {

const int64_t kSeconds = 180;

}  // namespace

extern "C" {

// Class: gc.gctests.tellvarn.tellvarn  Method: getMallocLock02  Signature: ()V
JNIEXPORT void JNICALL Java_gc_gctests_tellvarn_tellvarn_getMallocLock02(JNIEnv*, jobject) {
  const int64_t start = time(nullptr);
  // Starting from 0, the first test always holds: at least one pass runs.
  int64_t current = 0;
  while (current - start < kSeconds) {
    void* block = malloc(1);
    // An unused block lets the compiler drop the malloc and free pair; the
    // empty asm makes the pointer opaque without emitting an instruction.
    asm volatile("" : "+r"(block));
    free(block);  // NOLINT(clang-analyzer-unix.Malloc): the analyzer loses the block in the asm
    current = time(nullptr);
  }
}

}  // extern "C"
