// tamsik and vostrel against a scripted JVM: the JNI call sequence, the depth
// bookkeeping, the pinned lines and texts of every verified step, and the
// exit with status 1 after each kind of failed step.

#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <string>
#include <vector>

#include "capture.h"
#include "fake_jni.h"
#include "share/native/zol_tools.h"
#include "support_state.h"

extern "C" {
void Java_zol_stress_strace_tamsikThread_recursiveMethod2(JNIEnv* env, jobject obj);
void Java_zol_stress_strace_vostrelThread_recursiveMethod2(JNIEnv* env, jobject obj);
}

namespace {

using zoltest::capture;
using zoltest::FakeJni;
using NativeFn = void (*)(JNIEnv*, jobject);

// One receiver of the Java thread class and the static DEPTH of the test
// class. recursiveMethod1 re-enters the native, as the Java half does.
struct StraceJvm {
  FakeJni fake;
  NativeFn native;
  jobject receiver = fake.handle();
  jclass thread_class;
  jclass test_class = fake.klass("zol/stress/strace/tamsik");
  jfieldID current_depth_id = fake.handle<jfieldID>();
  jfieldID depth_id = fake.handle<jfieldID>();
  jmethodID method1_id = fake.handle<jmethodID>();
  jint current_depth = 0;
  jint DEPTH = 1;
  std::vector<jint> depths_written;
  std::vector<jint> depths_seen_by_method1;
  bool method1_recurses = true;
  // Function name -> the number of the call (from 1) that fails.
  std::map<std::string, int> fail_at;
  std::map<std::string, int> calls;

  // Null result with the JVM's exception pending, as a failed lookup gives.
  template <typename T>
  T lookup(const char* function, T found, const std::string& missing) {
    if (++calls[function] == fail_at[function]) {
      fake.raise(missing);
      return nullptr;
    }
    return found;
  }

  StraceJvm(NativeFn native_fn, const char* thread_class_name)
      : native(native_fn), thread_class(fake.klass(thread_class_name)) {
    FAKE_JNI_ON(fake, FindClass, [this](const char* name) {
      EXPECT_STREQ(name, "zol/stress/strace/tamsik");
      return lookup("FindClass", test_class, "java.lang.NoClassDefFoundError: zol/stress/strace/tamsik");
    });
    FAKE_JNI_ON(fake, GetObjectClass, [this](jobject obj) {
      EXPECT_EQ(obj, receiver);
      return lookup("GetObjectClass", thread_class, "java.lang.InternalError");
    });
    FAKE_JNI_ON(fake, GetFieldID, [this](jclass cls, const char* name, const char* sig) {
      EXPECT_EQ(cls, thread_class);
      EXPECT_EQ(std::string(name) + ":" + sig, "currentDepth:I");
      return lookup("GetFieldID", current_depth_id, "java.lang.NoSuchFieldError: currentDepth");
    });
    FAKE_JNI_ON(fake, GetStaticFieldID, [this](jclass cls, const char* name, const char* sig) {
      EXPECT_EQ(cls, test_class);
      EXPECT_EQ(std::string(name) + ":" + sig, "DEPTH:I");
      return lookup("GetStaticFieldID", depth_id, "java.lang.NoSuchFieldError: DEPTH");
    });
    FAKE_JNI_ON(fake, GetMethodID, [this](jclass cls, const char* name, const char* sig) {
      EXPECT_EQ(cls, thread_class);
      EXPECT_EQ(std::string(name) + sig, "recursiveMethod1()V");
      return lookup("GetMethodID", method1_id, "java.lang.NoSuchMethodError: recursiveMethod1");
    });
    FAKE_JNI_ON(fake, GetIntField, [this](jobject obj, jfieldID field) {
      EXPECT_EQ(obj, receiver);
      EXPECT_EQ(field, current_depth_id);
      return current_depth;
    });
    FAKE_JNI_ON(fake, SetIntField, [this](jobject obj, jfieldID field, jint value) {
      EXPECT_EQ(obj, receiver);
      EXPECT_EQ(field, current_depth_id);
      current_depth = value;
      depths_written.push_back(value);
    });
    FAKE_JNI_ON(fake, GetStaticIntField, [this](jclass cls, jfieldID field) {
      EXPECT_EQ(cls, test_class);
      EXPECT_EQ(field, depth_id);
      return DEPTH;
    });
    FAKE_JNI_ON(fake, CallVoidMethod, [this](jobject obj, jmethodID method, va_list) {
      EXPECT_EQ(obj, receiver);
      EXPECT_EQ(method, method1_id);
      depths_seen_by_method1.push_back(current_depth);
      if (++calls["CallVoidMethod"] == fail_at["CallVoidMethod"]) {
        fake.raise("java.lang.IllegalStateException: thrown by recursiveMethod1");
      } else if (method1_recurses) {
        native(fake.env(), receiver);
      }
    });
  }

  void run() { native(fake.env(), receiver); }
};

struct Tamsik : StraceJvm {
  Tamsik() : StraceJvm(Java_zol_stress_strace_tamsikThread_recursiveMethod2, "zol/stress/strace/tamsikThread") {}
};
struct Vostrel : StraceJvm {
  Vostrel() : StraceJvm(Java_zol_stress_strace_vostrelThread_recursiveMethod2, "zol/stress/strace/vostrelThread") {}
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

struct Failure {
  const char* deliverable;
  const char* function;
  int nth;
  int line;
  const char* text;
  const char* exception;
};

void PrintTo(const Failure& f, std::ostream* os) { *os << f.deliverable << ":" << f.line << " " << f.function; }

const char kFieldText[] = "(field = env->GetFieldID(threadClass, \"currentDepth\", \"I\")) != NULL";
const char kMethodText[] = "(method = env->GetMethodID(threadClass, \"recursiveMethod1\", \"()V\")) != NULL";

class StraceFailure : public zoltest::FreshSupportState, public testing::WithParamInterface<Failure> {};

// A failed lookup: the expression complaint (with the first-complaint trace),
// the FALSE line, the exception complaint and its description; then exit 1.
TEST_P(StraceFailure, ComplainsAndExitsWithStatus1) {
  const Failure& f = GetParam();
  const std::string base = std::string(f.deliverable) + ".cpp";
  std::string expected;
  if (std::string(f.function) == "CallVoidMethod") {
    expected = zoltest::first_complaint(base, f.line, "Exception in JNI call (cleared):\n",
                                        "Exception in JNI call (cleared):\n") +
               "[described: " + f.exception + "]\n# ERROR: " + base + ", " + std::to_string(f.line) + ": " + f.text +
               "\n";
  } else {
    expected = zoltest::first_complaint(base, f.line, std::string(f.text) + "\n", std::string(f.text) + "\n") +
               "#   verified JNI assertion is FALSE\n# ERROR: " + base + ", " + std::to_string(f.line) +
               ": Exception in JNI call (cleared):\n[described: " + f.exception + "]\n";
  }
  const zoltest::Exit exit = zoltest::run_forked([&] {
    if (std::string(f.deliverable) == "tamsik") {
      Tamsik jvm;
      jvm.method1_recurses = false;
      jvm.DEPTH = 2;
      jvm.fail_at[f.function] = f.nth;
      jvm.run();
    } else {
      Vostrel jvm;
      jvm.method1_recurses = false;
      jvm.fail_at[f.function] = f.nth;
      jvm.run();
    }
  });
  EXPECT_EQ(exit.status, 1);
  EXPECT_EQ(exit.out, expected);
}

INSTANTIATE_TEST_SUITE_P(
    EveryVerifiedStep, StraceFailure,
    testing::Values(
        Failure{"tamsik", "FindClass", 1, 40, "(testClass = env->FindClass(Stest_cn)) != NULL",
                "java.lang.NoClassDefFoundError: zol/stress/strace/tamsik"},
        Failure{"tamsik", "GetObjectClass", 1, 41, "(threadClass = env->GetObjectClass(obj)) != NULL",
                "java.lang.InternalError"},
        Failure{"tamsik", "GetFieldID", 1, 44, kFieldText, "java.lang.NoSuchFieldError: currentDepth"},
        Failure{"tamsik", "GetFieldID", 2, 46, kFieldText, "java.lang.NoSuchFieldError: currentDepth"},
        Failure{"tamsik", "GetStaticFieldID", 1, 48,
                "(field = env->GetStaticFieldID(testClass, \"DEPTH\", \"I\")) != NULL",
                "java.lang.NoSuchFieldError: DEPTH"},
        Failure{"tamsik", "GetMethodID", 1, 52, kMethodText, "java.lang.NoSuchMethodError: recursiveMethod1"},
        Failure{"tamsik", "CallVoidMethod", 1, 52, "env->CallVoidMethod(obj, method)",
                "java.lang.IllegalStateException: thrown by recursiveMethod1"},
        Failure{"tamsik", "GetObjectClass", 2, 56, "(threadClass = env->GetObjectClass(obj)) != NULL",
                "java.lang.InternalError"},
        Failure{"tamsik", "GetFieldID", 3, 57, kFieldText, "java.lang.NoSuchFieldError: currentDepth"},
        Failure{"vostrel", "GetObjectClass", 1, 35, "(threadClass = env->GetObjectClass(obj)) != NULL",
                "java.lang.InternalError"},
        Failure{"vostrel", "GetMethodID", 1, 37, kMethodText, "java.lang.NoSuchMethodError: recursiveMethod1"},
        Failure{"vostrel", "CallVoidMethod", 1, 37, "env->CallVoidMethod(obj, method)",
                "java.lang.IllegalStateException: thrown by recursiveMethod1"}),
    [](const testing::TestParamInfo<Failure>& step) {
      return std::string(step.param.deliverable) + "_line" + std::to_string(step.param.line) + "_" +
             step.param.function + std::to_string(step.param.nth);
    });

}  // namespace
