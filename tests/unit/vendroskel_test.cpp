// Vendroskel: the native that must never be entered prints its line and
// exits with 1, without a JNI call.

#include <gtest/gtest.h>

#include "capture.h"
#include "fake_jni.h"

extern "C" {
void Java_TestVendroskel_testVendroskel(JNIEnv*, jobject);
}

namespace {

using zoltest::FakeJni;

TEST(Vendroskel, EnteringTheTrapPrintsOneLineAndExitsWithOne) {
  // No JNI function may be called: the fake's every slot traps.
  const zoltest::Exit exit = zoltest::run_forked([] {
    FakeJni fake;
    Java_TestVendroskel_testVendroskel(fake.env(), fake.handle());
  });
  EXPECT_EQ(exit.status, 1);
  EXPECT_EQ(exit.out, "should not reach here\n");
  EXPECT_EQ(exit.err, "");
}

}  // namespace
