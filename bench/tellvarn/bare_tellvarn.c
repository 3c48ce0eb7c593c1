/* The floor for tellvarn's loop: malloc(1), free and time, nothing else. The
 * same empty asm as the library's keeps the compiler from dropping the pair.
 * Built as a libtellvarn.so of its own in the benchmark's directory. */

#include <jni.h>

#include <stdlib.h>
#include <time.h>

/* Class: gc.gctests.tellvarn.tellvarn  Method: getMallocLock02  Signature: ()V */
JNIEXPORT void JNICALL Java_gc_gctests_tellvarn_tellvarn_getMallocLock02(JNIEnv* env, jobject self) {
  (void)env;
  (void)self;
  const long long start = time(NULL);
  long long current = 0;
  while (current - start < 180) {
    void* block = malloc(1);
    __asm__ volatile("" : "+r"(block));
    free(block); /* NOLINT(clang-analyzer-unix.Malloc): the analyzer loses the block in the asm */
    current = time(NULL);
  }
}
