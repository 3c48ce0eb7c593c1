// The verified step: order of output, results, and the cleared exception.

#include "share/jni/jni_tools.h"

#include <gtest/gtest.h>

#include "capture.h"
#include "fake_jni.h"
#include "support_state.h"

namespace {

using zoltest::capture;
using zoltest::FakeJni;

class JniTools : public zoltest::FreshSupportState {
 protected:
  FakeJni fake;
  int result = -1;

  std::string verify(int expected, int outcome) {
    return capture([&] {
             result = zol_jni_lverify(expected, fake.env(), outcome, "/s/caller.cpp", 12, "%s\n", "x != NULL");
           })
        .out;
  }
  std::string verify_void() {
    return capture([&] { result = zol_jni_lverify_void(fake.env(), "/s/caller.cpp", 12, "%s\n", "env->Call()"); }).out;
  }
};

const char kFalse[] = "#   verified JNI assertion is FALSE\n";
const char kCleared[] = "# ERROR: caller.cpp, 12: Exception in JNI call (cleared):\n";

TEST_F(JniTools, HeldAssertionWithoutExceptionIsSilent) {
  EXPECT_EQ(verify(1, 1), "");
  EXPECT_EQ(result, 1);
  EXPECT_EQ(fake.calls(), std::vector<std::string>{"ExceptionOccurred"});
  EXPECT_EQ(verify_void(), "");
  EXPECT_EQ(result, 1);
}

TEST_F(JniTools, FalseOutcomeComplainsWithTheExpressionText) {
  EXPECT_EQ(verify(1, 0), zoltest::first_complaint("caller.cpp", 12, "x != NULL\n", "x != NULL\n") + kFalse);
  EXPECT_EQ(result, 0);
}

TEST_F(JniTools, FalseOutcomeWithPendingExceptionReportsBothInOrder) {
  zol_testing_set_complaint_count(1);
  fake.raise("java.lang.NoSuchFieldError: depth");
  EXPECT_EQ(verify(1, 0), std::string("# ERROR: caller.cpp, 12: x != NULL\n") + kFalse + kCleared +
                              "[described: java.lang.NoSuchFieldError: depth]\n");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(fake.pending(), nullptr);
  EXPECT_EQ(zol_testing_complaint_count(), 3);
}

TEST_F(JniTools, HeldAssertionWithPendingExceptionFails) {
  zol_testing_set_complaint_count(1);
  fake.raise("E");
  EXPECT_EQ(verify(1, 1), std::string(kCleared) + "[described: E]\n");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(fake.pending(), nullptr);
  EXPECT_EQ(fake.calls(), (std::vector<std::string>{"ExceptionOccurred", "ExceptionDescribe", "ExceptionClear"}));
}

TEST_F(JniTools, VoidCallThatThrewReportsTheExceptionFirst) {
  fake.raise("java.lang.RuntimeException: boom");
  EXPECT_EQ(verify_void(), zoltest::first_complaint("caller.cpp", 12, "Exception in JNI call (cleared):\n",
                                                    "Exception in JNI call (cleared):\n") +
                               "[described: java.lang.RuntimeException: boom]\n"
                               "# ERROR: caller.cpp, 12: env->Call()\n");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(fake.pending(), nullptr);
}

TEST_F(JniTools, ExpectedZeroInvertsTheAssertionAndOddOutcomesNeverFail) {
  zol_testing_set_complaint_count(1);
  EXPECT_EQ(verify(0, 0), "");
  EXPECT_EQ(result, 1);
  EXPECT_EQ(verify(0, 1), std::string("# ERROR: caller.cpp, 12: x != NULL\n") + kFalse);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(verify(1, 2), "");
  EXPECT_EQ(result, 1);
  EXPECT_EQ(verify(0, 2), "");
  EXPECT_EQ(result, 1);
}

TEST_F(JniTools, PastTheComplaintLimitTheFalseLineStillPrints) {
  zol_testing_set_complaint_count(700);
  EXPECT_EQ(verify(1, 0), kFalse);
  EXPECT_EQ(result, 0);
}

TEST_F(JniTools, CheckExceptionReportsDescribesAndClears) {
  zol_testing_set_complaint_count(1);
  EXPECT_EQ(zol_jni_check_exception(fake.env(), "c.cpp", 3), 0);
  fake.raise("E");
  int pending = -1;
  EXPECT_EQ(capture([&] { pending = zol_jni_check_exception(fake.env(), "c.cpp", 3); }).out,
            "# ERROR: c.cpp, 3: Exception in JNI call (cleared):\n[described: E]\n");
  EXPECT_EQ(pending, 1);
  EXPECT_EQ(fake.pending(), nullptr);
}

TEST_F(JniTools, TracesNameTheCallerAndTheModulesFixedLines) {
  zol_testing_set_trace_mask(3);
  zol_testing_set_complaint_count(1);
  fake.raise("E");
  EXPECT_EQ(verify_void(),
            "- caller.cpp, 12: << env->Call()\n"
            "- jni_tools.cpp, 56: >> throwable = jni->ExceptionOccurred()\n"
            "- jni_tools.cpp, 56: << throwable = jni->ExceptionOccurred()\n"
            "# ERROR: caller.cpp, 12: Exception in JNI call (cleared):\n"
            "- jni_tools.cpp, 59: >> jni->ExceptionDescribe()\n"
            "[described: E]\n"
            "- jni_tools.cpp, 59: << jni->ExceptionDescribe()\n"
            "- jni_tools.cpp, 60: >> jni->ExceptionClear()\n"
            "- jni_tools.cpp, 60: << jni->ExceptionClear()\n"
            "# ERROR: caller.cpp, 12: env->Call()\n");
}

TEST_F(JniTools, VerifyMacroTracesCallsAndVerifiesOnItsOwnLine) {
  zol_testing_set_trace_mask(1);
  JNIEnv* env = fake.env();
  jobject value = nullptr;
  int line = 0;
  std::string out = capture([&] {
                      // clang-format off
                      line = __LINE__; result = ZOL_JNI_VERIFY(env, (value = fake.handle()) != NULL);
                      // clang-format on
                    }).out;
  EXPECT_EQ(out, "- jni_tools_test.cpp, " + std::to_string(line) +
                     ": >> (value = fake.handle()) != NULL\n"
                     "- jni_tools.cpp, 56: >> throwable = jni->ExceptionOccurred()\n");
  EXPECT_EQ(result, 1);
  EXPECT_NE(value, nullptr);
}

}  // namespace
