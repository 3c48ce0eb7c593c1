// Native half of the TestVendroskel test: a trap the Java test must never
// enter. Reaching it is the failure, so it says so and ends the process;
// it makes no call into the JVM at all.

#include <jni.h>

#include <cstdio>
#include <cstdlib>

extern "C" {

// Class: TestVendroskel  Method: testVendroskel  Signature: ()V
JNIEXPORT void JNICALL Java_TestVendroskel_testVendroskel(JNIEnv*, jobject) {
  printf("should not reach here\n");
  // Out before exit() starts the JVM's teardown, whose own reports (under
  // -Xcheck:jni, a signal handler check) must not split or swallow the line.
  fflush(stdout);
  exit(1);
}

}  // extern "C"
