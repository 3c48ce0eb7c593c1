// quenmarl against a scripted JVM: the throwable given is thrown and caught
// in native code, then a fresh exception of the next class of the 23-class
// table is raised; the paths a real JVM does not produce: failed Throw and
// ThrowNew, and the exit with status 97 after an unexpected exception.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture.h"
#include "fake_jni.h"

extern "C" {
void Java_zol_stress_jni_JNIter005_except(JNIEnv* env, jobject self, jthrowable tobj);
}

namespace {

using zoltest::capture;
using zoltest::FakeJni;
using zoltest::join;
using Calls = std::vector<std::string>;

const char* const kTable[] = {"java/lang/ArithmeticException",
                              "java/lang/ArrayIndexOutOfBoundsException",
                              "java/lang/ArrayStoreException",
                              "java/lang/ClassCastException",
                              "java/lang/ClassNotFoundException",
                              "java/lang/CloneNotSupportedException",
                              "java/lang/IllegalAccessException",
                              "java/lang/IllegalArgumentException",
                              "java/lang/IllegalMonitorStateException",
                              "java/lang/IllegalStateException",
                              "java/lang/IllegalThreadStateException",
                              "java/lang/IndexOutOfBoundsException",
                              "java/lang/InstantiationException",
                              "java/lang/InterruptedException",
                              "java/lang/NegativeArraySizeException",
                              "java/lang/NoSuchFieldException",
                              "java/lang/NoSuchMethodException",
                              "java/lang/NullPointerException",
                              "java/lang/NumberFormatException",
                              "java/lang/RuntimeException",
                              "java/lang/SecurityException",
                              "java/lang/StringIndexOutOfBoundsException",
                              "java/lang/UnsupportedOperationException"};

int table_index(const std::string& name) {
  for (int i = 0; i < 23; i++) {
    if (name == kTable[i]) return i;
  }
  return -1;
}

struct QuenmarlJvm {
  FakeJni fake;
  jobject self = fake.handle();
  jthrowable tobj = fake.raise("java.lang.IllegalStateException: given");
  jclass test_class = fake.klass("zol/stress/jni/JNIter005");
  jmethodID setpass_id = fake.handle<jmethodID>();
  std::string raise_in;
  std::string thrown_class;
  bool throw_fails = false;
  bool throw_new_fails = false;
  std::vector<int> setpass_args;

  void maybe_raise(const std::string& function) {
    if (raise_in == function) fake.raise("java.lang.Error: in " + function);
  }

  QuenmarlJvm() {
    fake.env()->ExceptionClear();
    FAKE_JNI_ON(fake, MonitorEnter, [this](jobject obj) -> jint {
      EXPECT_EQ(obj, self);
      maybe_raise("MonitorEnter");
      return 0;
    });
    FAKE_JNI_ON(fake, MonitorExit, [this](jobject obj) -> jint {
      EXPECT_EQ(obj, self);
      maybe_raise("MonitorExit");
      return 0;
    });
    FAKE_JNI_ON(fake, Throw, [this](jthrowable throwable) -> jint {
      EXPECT_EQ(throwable, tobj);
      if (throw_fails) return -1;
      fake.raise(fake.description(throwable));
      return 0;
    });
    FAKE_JNI_ON(fake, FindClass, [this](const char* name) -> jclass {
      const bool own = std::string(name) == "zol/stress/jni/JNIter005";
      if (raise_in == (own ? "FindClass own" : "FindClass")) {
        fake.raise(std::string("java.lang.NoClassDefFoundError: ") + name);
        return nullptr;
      }
      return fake.klass(name);
    });
    FAKE_JNI_ON(fake, ThrowNew, [this](jclass cls, const char* message) -> jint {
      thrown_class = fake.class_name(cls);
      EXPECT_EQ(thrown_class, message);
      if (throw_new_fails) return -1;
      fake.raise(thrown_class + ": " + message);
      return 0;
    });
    FAKE_JNI_ON(fake, GetStaticMethodID, [this](jclass cls, const char* name, const char* sig) -> jmethodID {
      EXPECT_EQ(cls, test_class);
      EXPECT_EQ(std::string(name) + sig, "setpass(Z)V");
      if (raise_in == "GetStaticMethodID") {
        fake.raise("java.lang.NoSuchMethodError: setpass");
        return nullptr;
      }
      return setpass_id;
    });
    FAKE_JNI_ON(fake, CallStaticVoidMethodV, [this](jclass cls, jmethodID method, va_list args) {
      EXPECT_EQ(cls, test_class);
      EXPECT_EQ(method, setpass_id);
      setpass_args.push_back(va_arg(args, int));
      maybe_raise("CallStaticVoidMethod");
    });
  }

  // One call as a Java caller makes it: nothing pending on entry. Returns what
  // the native wrote to stderr.
  std::string except() {
    fake.env()->ExceptionClear();
    fake.clear_calls();
    thrown_class.clear();
    return capture([&] { Java_zol_stress_jni_JNIter005_except(fake.env(), self, tobj); }).err;
  }
};

const Calls kExceptHead = {"MonitorEnter", "ExceptionOccurred", "Throw"};
const Calls kExceptTail = {"MonitorExit", "ExceptionOccurred", "ExceptionOccurred",
                           "FindClass",   "ExceptionOccurred", "ThrowNew"};
const Calls kSetpassCalls = {"ExceptionOccurred", "FindClass",         "ExceptionOccurred",
                             "GetStaticMethodID", "ExceptionOccurred", "CallStaticVoidMethodV",
                             "ExceptionOccurred"};

TEST(Quenmarl, CatchesTheGivenThrowableAndRaisesTheNextClassOfTheTable) {
  QuenmarlJvm jvm;
  int previous = -1;
  for (int call = 0; call < 30; call++) {
    const std::string err = jvm.except();
    EXPECT_TRUE(err.empty() || err == "NATIVE: Throw has been catched in native\n") << err;
    EXPECT_EQ(jvm.fake.calls(), join({kExceptHead, {"ExceptionOccurred", "ExceptionClear"}, kExceptTail}));
    const int index = table_index(jvm.thrown_class);
    ASSERT_GE(index, 0) << jvm.thrown_class;
    if (previous >= 0) EXPECT_EQ(index, (previous + 1) % 23);
    previous = index;
    EXPECT_EQ(jvm.fake.description(jvm.fake.pending()), jvm.thrown_class + ": " + jvm.thrown_class);
  }
}

TEST(Quenmarl, FailedThrowClearsNothingAndRaisesTheSameClassAgain) {
  QuenmarlJvm jvm;
  jvm.except();
  const std::string before = jvm.thrown_class;
  jvm.throw_fails = true;
  EXPECT_EQ(jvm.except(), "Throw failed\n");
  EXPECT_EQ(jvm.fake.calls(), join({kExceptHead, kExceptTail}));
  EXPECT_EQ(jvm.thrown_class, before);
  jvm.throw_fails = false;
  jvm.except();
  EXPECT_EQ(table_index(jvm.thrown_class), (table_index(before) + 1) % 23);

  // A null throwable fails the same way without reaching Throw.
  const std::string again = jvm.thrown_class;
  jvm.tobj = nullptr;
  EXPECT_EQ(jvm.except(), "Throw failed\n");
  EXPECT_EQ(jvm.fake.calls(), join({{"MonitorEnter", "ExceptionOccurred"}, kExceptTail}));
  EXPECT_EQ(jvm.thrown_class, again);
}

TEST(Quenmarl, FailedThrowNewCallsSetpassFalseAndReturnsWithNothingPending) {
  QuenmarlJvm jvm;
  jvm.throw_new_fails = true;
  const std::string err = jvm.except();
  EXPECT_EQ(err.substr(err.size() - 16), "ThrowNew failed\n");
  EXPECT_EQ(jvm.fake.calls(), join({kExceptHead, {"ExceptionOccurred", "ExceptionClear"}, kExceptTail, kSetpassCalls}));
  EXPECT_EQ(jvm.setpass_args, std::vector<int>{JNI_FALSE});
  EXPECT_EQ(jvm.fake.pending(), nullptr);
}

TEST(Quenmarl, UnexpectedExceptionEndsTheProcessWithStatus97) {
  struct Case {
    const char* raise_in;
    bool throw_new_fails;
    const char* description;
  };
  for (const Case& c : {Case{"MonitorEnter", false, "java.lang.Error: in MonitorEnter"},
                        Case{"MonitorExit", false, "java.lang.Error: in MonitorExit"},
                        Case{"FindClass", false, "java.lang.NoClassDefFoundError: java/lang/"},
                        Case{"FindClass own", true, "java.lang.NoClassDefFoundError: zol/stress/jni/JNIter005"},
                        Case{"GetStaticMethodID", true, "java.lang.NoSuchMethodError: setpass"},
                        Case{"CallStaticVoidMethod", true, "java.lang.Error: in CallStaticVoidMethod"}}) {
    QuenmarlJvm jvm;
    jvm.raise_in = c.raise_in;
    jvm.throw_new_fails = c.throw_new_fails;
    zoltest::Exit end = zoltest::run_forked([&] {
      jvm.fake.env()->ExceptionClear();
      Java_zol_stress_jni_JNIter005_except(jvm.fake.env(), jvm.self, jvm.tobj);
    });
    SCOPED_TRACE(c.raise_in);
    EXPECT_EQ(end.status, 97);
    EXPECT_EQ(end.out.rfind("[described: " + std::string(c.description), 0), 0u) << end.out;
    const std::string expected_err =
        std::string(c.throw_new_fails ? "ThrowNew failed\n" : "") + "Unexpected exception:\n";
    ASSERT_GE(end.err.size(), expected_err.size());
    EXPECT_EQ(end.err.substr(end.err.size() - expected_err.size()), expected_err);
  }
}

}  // namespace
