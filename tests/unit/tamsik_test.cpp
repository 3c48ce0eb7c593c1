// tamsik against a scripted JVM (recursion_jvm.h): the JNI call sequence,
// the depth bookkeeping, the pinned lines and texts of every verified step,
// and the exit with status 1 after each kind of failed step.

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "capture.h"
#include "recursion_jvm.h"
#include "share/native/zol_tools.h"
#include "support_state.h"

extern "C" {
void Java_zol_stress_strace_tamsikThread_recursiveMethod2(JNIEnv* env, jobject obj);
}

namespace {

using zoltest::capture;
using zoltest::Failure;
using zoltest::kFieldText;
using zoltest::kMethodText;

struct Tamsik : zoltest::RecursionJvm {
  Tamsik() : RecursionJvm(Java_zol_stress_strace_tamsikThread_recursiveMethod2, "zol/stress/strace/tamsikThread") {}
};

class Strace : public zoltest::FreshSupportState {};

TEST_F(Strace, TamsikDeepestFrameRaisesAndRestoresWithoutCallingBack) {
  Tamsik jvm;
  jvm.DEPTH = 1;
  EXPECT_EQ(capture([&] { jvm.run(); }).out, "");
  EXPECT_EQ(jvm.depths_written, (std::vector<jint>{1, 0}));
  EXPECT_TRUE(jvm.depths_seen_by_method1.empty());
  EXPECT_EQ(jvm.fake.calls(), (std::vector<std::string>{
                                  "FindClass", "ExceptionOccurred", "GetObjectClass", "ExceptionOccurred", "GetFieldID",
                                  "ExceptionOccurred", "GetIntField", "GetFieldID", "ExceptionOccurred", "SetIntField",
                                  "GetStaticFieldID", "ExceptionOccurred", "GetStaticIntField", "GetObjectClass",
                                  "ExceptionOccurred", "GetFieldID", "ExceptionOccurred", "SetIntField"}));
}

TEST_F(Strace, TamsikCallsBackOnlyWhileTheRaisedDepthIsBelowDEPTH) {
  struct Case {
    jint entry, DEPTH;
    bool calls_back;
  };
  for (const Case& c : {Case{3, 5, true}, Case{4, 5, false}, Case{5, 5, false}, Case{9, 5, false}, Case{-3, 0, true},
                        // The difference wraps like Java int arithmetic.
                        Case{0, INT_MIN, true}, Case{INT_MAX, INT_MAX, false}}) {
    Tamsik jvm;
    jvm.method1_recurses = false;
    jvm.current_depth = c.entry;
    jvm.DEPTH = c.DEPTH;
    jvm.run();
    SCOPED_TRACE(testing::Message() << "entry " << c.entry << " DEPTH " << c.DEPTH);
    const jint raised = static_cast<jint>(static_cast<unsigned>(c.entry) + 1u);
    EXPECT_EQ(jvm.depths_seen_by_method1, c.calls_back ? std::vector<jint>{raised} : std::vector<jint>{});
    EXPECT_EQ(jvm.depths_written, (std::vector<jint>{raised, c.entry}));
    EXPECT_EQ(jvm.fake.count("ExceptionOccurred"), c.calls_back ? 9u : 7u);
  }
}

TEST_F(Strace, TamsikRecursionStopsAtDEPTHAndUnwindsToTheEntryDepth) {
  Tamsik jvm;
  jvm.DEPTH = 40;
  jvm.run();
  std::vector<jint> expected;
  for (jint d = 1; d < 40; ++d) expected.push_back(d);
  EXPECT_EQ(jvm.depths_seen_by_method1, expected);
  EXPECT_EQ(jvm.current_depth, 0);
  EXPECT_EQ(jvm.fake.count("ExceptionOccurred"), 39u * 9u + 7u);
  // DEPTH is read afresh in every frame.
  EXPECT_EQ(jvm.fake.count("GetStaticIntField"), 40u);
}

TEST_F(Strace, TamsikTracesEveryVerifiedStepAtItsLine) {
  zol_testing_set_trace_mask(ZOL_TRACE_CALL);
  Tamsik jvm;
  jvm.method1_recurses = false;
  jvm.DEPTH = 2;
  const std::string eo = "- jni_tools.cpp, 56: >> throwable = jni->ExceptionOccurred()\n";
  const std::string field = "(field = env->GetFieldID(threadClass, \"currentDepth\", \"I\")) != NULL\n";
  EXPECT_EQ(capture([&] { jvm.run(); }).out,
            "- tamsik.cpp, 40: >> (testClass = env->FindClass(Stest_cn)) != NULL\n" + eo +
                "- tamsik.cpp, 41: >> (threadClass = env->GetObjectClass(obj)) != NULL\n" + eo +
                "- tamsik.cpp, 44: >> " + field + eo + "- tamsik.cpp, 46: >> " + field + eo +
                "- tamsik.cpp, 48: >> (field = env->GetStaticFieldID(testClass, \"DEPTH\", \"I\")) != NULL\n" + eo +
                "- tamsik.cpp, 52: >> (method = env->GetMethodID(threadClass, \"recursiveMethod1\", \"()V\")) != "
                "NULL\n" +
                eo + "- tamsik.cpp, 52: >> env->CallVoidMethod(obj, method)\n" + eo +
                "- tamsik.cpp, 56: >> (threadClass = env->GetObjectClass(obj)) != NULL\n" + eo +
                "- tamsik.cpp, 57: >> " + field + eo);
}

class StraceFailure : public zoltest::FreshSupportState, public testing::WithParamInterface<Failure> {};

TEST_P(StraceFailure, ComplainsAndExitsWithStatus1) {
  const Failure& f = GetParam();
  const zoltest::Exit exit = zoltest::run_forked([&] {
    Tamsik jvm;
    jvm.method1_recurses = false;
    jvm.DEPTH = 2;
    jvm.fail_at[f.function] = f.nth;
    jvm.run();
  });
  EXPECT_EQ(exit.status, 1);
  EXPECT_EQ(exit.out, zoltest::failure_output(f));
}

INSTANTIATE_TEST_SUITE_P(
    EveryVerifiedStep, StraceFailure,
    testing::Values(Failure{"tamsik", "FindClass", 1, 40, "(testClass = env->FindClass(Stest_cn)) != NULL",
                            "java.lang.NoClassDefFoundError: zol/stress/strace/tamsik"},
                    Failure{"tamsik", "GetObjectClass", 1, 41, "(threadClass = env->GetObjectClass(obj)) != NULL",
                            "java.lang.InternalError"},
                    Failure{"tamsik", "GetFieldID", 1, 44, kFieldText, "java.lang.NoSuchFieldError: currentDepth"},
                    Failure{"tamsik", "GetFieldID", 2, 46, kFieldText, "java.lang.NoSuchFieldError: currentDepth"},
                    Failure{"tamsik", "GetStaticFieldID", 1, 48,
                            "(field = env->GetStaticFieldID(testClass, \"DEPTH\", \"I\")) != NULL",
                            "java.lang.NoSuchFieldError: DEPTH"},
                    Failure{"tamsik", "GetMethodID", 1, 52, kMethodText,
                            "java.lang.NoSuchMethodError: recursiveMethod1"},
                    Failure{"tamsik", "CallVoidMethod", 1, 52, "env->CallVoidMethod(obj, method)",
                            "java.lang.IllegalStateException: thrown by recursiveMethod1"},
                    Failure{"tamsik", "GetObjectClass", 2, 56, "(threadClass = env->GetObjectClass(obj)) != NULL",
                            "java.lang.InternalError"},
                    Failure{"tamsik", "GetFieldID", 3, 57, kFieldText, "java.lang.NoSuchFieldError: currentDepth"}),
    zoltest::failure_name);

}  // namespace
