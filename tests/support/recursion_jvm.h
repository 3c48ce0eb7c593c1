// The JVM side of the recursive natives (tamsik, vostrel): one receiver of
// the Java thread class, whose recursiveMethod1 re-enters the native as the
// Java half does, and the static DEPTH of tamsik's test class; any lookup
// fails on demand. Also the failure of each verified step: its pinned line,
// text and exception, and the output it ends with.
#ifndef ZOLTEST_RECURSION_JVM_H
#define ZOLTEST_RECURSION_JVM_H

#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "fake_jni.h"
#include "support_state.h"

namespace zoltest {

using NativeFn = void (*)(JNIEnv*, jobject);

struct RecursionJvm {
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

  RecursionJvm(NativeFn native_fn, const char* thread_class_name)
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

// A verified step that fails: the nth call of function, at line of
// deliverable's source, with the exception it leaves.
struct Failure {
  const char* deliverable;
  const char* function;
  int nth;
  int line;
  const char* text;
  const char* exception;
};

inline void PrintTo(const Failure& f, std::ostream* os) { *os << f.deliverable << ":" << f.line << " " << f.function; }

inline std::string failure_name(const testing::TestParamInfo<Failure>& step) {
  return std::string(step.param.deliverable) + "_line" + std::to_string(step.param.line) + "_" + step.param.function +
         std::to_string(step.param.nth);
}

constexpr char kFieldText[] = "(field = env->GetFieldID(threadClass, \"currentDepth\", \"I\")) != NULL";
constexpr char kMethodText[] = "(method = env->GetMethodID(threadClass, \"recursiveMethod1\", \"()V\")) != NULL";

// What a failed step prints before the exit with status 1: the expression
// complaint (with the first-complaint trace), the FALSE line, the exception
// complaint and its description; for the call back, the exception first.
inline std::string failure_output(const Failure& f) {
  const std::string base = std::string(f.deliverable) + ".cpp";
  if (std::string(f.function) == "CallVoidMethod") {
    return first_complaint(base, f.line, "Exception in JNI call (cleared):\n", "Exception in JNI call (cleared):\n") +
           "[described: " + f.exception + "]\n# ERROR: " + base + ", " + std::to_string(f.line) + ": " + f.text + "\n";
  }
  return first_complaint(base, f.line, std::string(f.text) + "\n", std::string(f.text) + "\n") +
         "#   verified JNI assertion is FALSE\n# ERROR: " + base + ", " + std::to_string(f.line) +
         ": Exception in JNI call (cleared):\n[described: " + f.exception + "]\n";
}

}  // namespace zoltest

#endif  // ZOLTEST_RECURSION_JVM_H
