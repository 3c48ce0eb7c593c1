// vostrel against a scripted JVM (recursion_jvm.h): it always calls back,
// the pinned lines and texts of its two verified steps, and the exit with
// status 1 after each kind of failed step.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture.h"
#include "recursion_jvm.h"
#include "share/native/zol_tools.h"
#include "support_state.h"

extern "C" {
void Java_zol_stress_strace_vostrelThread_recursiveMethod2(JNIEnv* env, jobject obj);
}

namespace {

using zoltest::capture;
using zoltest::Failure;
using zoltest::kMethodText;

struct Vostrel : zoltest::RecursionJvm {
  Vostrel() : RecursionJvm(Java_zol_stress_strace_vostrelThread_recursiveMethod2, "zol/stress/strace/vostrelThread") {}
};

class Strace : public zoltest::FreshSupportState {};

TEST_F(Strace, VostrelAlwaysCallsBackAndTracesItsTwoLines) {
  zol_testing_set_trace_mask(ZOL_TRACE_CALL);
  Vostrel jvm;
  jvm.method1_recurses = false;
  const std::string eo = "- jni_tools.cpp, 56: >> throwable = jni->ExceptionOccurred()\n";
  EXPECT_EQ(capture([&] { jvm.run(); }).out,
            "- vostrel.cpp, 35: >> (threadClass = env->GetObjectClass(obj)) != NULL\n" + eo +
                "- vostrel.cpp, 37: >> (method = env->GetMethodID(threadClass, \"recursiveMethod1\", \"()V\")) != "
                "NULL\n" +
                eo + "- vostrel.cpp, 37: >> env->CallVoidMethod(obj, method)\n" + eo);
  EXPECT_EQ(jvm.fake.calls(), (std::vector<std::string>{"GetObjectClass", "ExceptionOccurred", "GetMethodID",
                                                        "ExceptionOccurred", "CallVoidMethod", "ExceptionOccurred"}));
  EXPECT_EQ(jvm.depths_seen_by_method1.size(), 1u);
}
class StraceFailure : public zoltest::FreshSupportState, public testing::WithParamInterface<Failure> {};

TEST_P(StraceFailure, ComplainsAndExitsWithStatus1) {
  const Failure& f = GetParam();
  const zoltest::Exit exit = zoltest::run_forked([&] {
    Vostrel jvm;
    jvm.method1_recurses = false;
    jvm.fail_at[f.function] = f.nth;
    jvm.run();
  });
  EXPECT_EQ(exit.status, 1);
  EXPECT_EQ(exit.out, zoltest::failure_output(f));
}

INSTANTIATE_TEST_SUITE_P(EveryVerifiedStep, StraceFailure,
                         testing::Values(Failure{"vostrel", "GetObjectClass", 1, 35,
                                                 "(threadClass = env->GetObjectClass(obj)) != NULL",
                                                 "java.lang.InternalError"},
                                         Failure{"vostrel", "GetMethodID", 1, 37, kMethodText,
                                                 "java.lang.NoSuchMethodError: recursiveMethod1"},
                                         Failure{"vostrel", "CallVoidMethod", 1, 37, "env->CallVoidMethod(obj, method)",
                                                 "java.lang.IllegalStateException: thrown by recursiveMethod1"}),
                         zoltest::failure_name);

}  // namespace
