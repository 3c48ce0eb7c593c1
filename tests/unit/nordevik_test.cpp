// Nordevik against a scripted JVM: the lock held exactly across
// createStackFrame, the pinned lines of its complaints, and the monitor
// failures a real JVM cannot produce.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture.h"
#include "fake_jni.h"
#include "monitors.h"
#include "support_state.h"

extern "C" {
void Java_zol_share_locks_Nordevik_nativeJNIMonitorEnter(JNIEnv* env, jobject thisObject, jobject lock);
}

namespace {

using zoltest::capture;
using zoltest::FakeJni;
using zoltest::Monitors;
using Calls = std::vector<std::string>;

// A Nordevik receiver and its lock; createStackFrame logs "createStackFrame".
struct NordevikJvm {
  FakeJni fake;
  Monitors monitors{fake};
  jobject receiver = fake.handle();
  jobject lock = fake.handle();
  jclass nordevik = fake.klass("zol/share/locks/Nordevik");
  jclass error = fake.klass("zol/share/TestJNIError");
  jmethodID create_id = fake.handle<jmethodID>();
  bool has_method = true;
  bool has_error_class = true;
  bool callback_throws = false;

  NordevikJvm() {
    monitors.names = {{lock, "lock"}};
    FAKE_JNI_ON(fake, GetObjectClass, [this](jobject obj) {
      EXPECT_EQ(obj, receiver);
      return nordevik;
    });
    FAKE_JNI_ON(fake, GetMethodID, [this](jclass cls, const char* name, const char* sig) -> jmethodID {
      EXPECT_EQ(cls, nordevik);
      EXPECT_EQ(std::string(name) + sig, "createStackFrame()V");
      if (has_method) return create_id;
      fake.raise("java.lang.NoSuchMethodError: createStackFrame");
      return nullptr;
    });
    FAKE_JNI_ON(fake, CallVoidMethodV, [this](jobject obj, jmethodID method, va_list) {
      EXPECT_EQ(obj, receiver);
      EXPECT_EQ(method, create_id);
      monitors.log.push_back("createStackFrame");
      if (callback_throws) fake.raise("java.lang.IllegalStateException: thrown by createStackFrame");
    });
    FAKE_JNI_ON(fake, FindClass, [this](const char* name) -> jclass {
      EXPECT_STREQ(name, "zol/share/TestJNIError");
      // FindClass may not be called with an exception pending.
      EXPECT_EQ(fake.pending(), nullptr);
      if (has_error_class) return error;
      fake.raise("java.lang.NoClassDefFoundError: zol/share/TestJNIError");
      return nullptr;
    });
  }

  std::string run() {
    return capture([&] { Java_zol_share_locks_Nordevik_nativeJNIMonitorEnter(fake.env(), receiver, lock); }).out;
  }
  std::string pending() const { return fake.description(fake.pending()); }
};

class Nordevik : public zoltest::FreshSupportState {};

TEST_F(Nordevik, HoldsTheLockExactlyAcrossCreateStackFrame) {
  NordevikJvm jvm;
  EXPECT_EQ(jvm.run(), "");
  EXPECT_EQ(jvm.monitors.log, (Calls{"+lock", "createStackFrame", "-lock"}));
  EXPECT_EQ(jvm.fake.calls(),
            (Calls{"MonitorEnter", "GetObjectClass", "GetMethodID", "CallVoidMethodV", "MonitorExit"}));
  EXPECT_EQ(jvm.fake.pending(), nullptr);
}

TEST_F(Nordevik, ExceptionOfCreateStackFrameStaysPendingAndTheLockIsExited) {
  NordevikJvm jvm;
  jvm.callback_throws = true;
  EXPECT_EQ(jvm.run(), "");
  EXPECT_EQ(jvm.monitors.log, (Calls{"+lock", "createStackFrame", "-lock"}));
  EXPECT_EQ(jvm.pending(), "java.lang.IllegalStateException: thrown by createStackFrame");
}

TEST_F(Nordevik, MissingCreateStackFrameIsNotCalledAndTheLockIsExited) {
  NordevikJvm jvm;
  jvm.has_method = false;
  EXPECT_EQ(jvm.run(), "");
  EXPECT_EQ(jvm.monitors.log, (Calls{"+lock", "-lock"}));
  EXPECT_EQ(jvm.pending(), "java.lang.NoSuchMethodError: createStackFrame");
}

TEST_F(Nordevik, FailedMonitorEnterComplainsThrowsAndReturnsAtOnce) {
  for (const bool jvm_raises : {false, true}) {
    SCOPED_TRACE(jvm_raises ? "with the JVM's exception pending" : "without an exception");
    zol_testing_set_complaint_count(0);
    NordevikJvm jvm;
    jvm.monitors.enter_result["lock"] = -3;
    if (jvm_raises) jvm.monitors.enter_raises["lock"] = "java.lang.NullPointerException";
    EXPECT_EQ(jvm.run(), zoltest::first_complaint("Nordevik.cpp", 39, "MonitorEnter return non-zero: -3\n",
                                                  "MonitorEnter return non-zero: -3\n"));
    EXPECT_EQ(jvm.monitors.log, (Calls{"+lock"}));
    EXPECT_EQ(jvm.pending(), "zol/share/TestJNIError: MonitorEnter return non-zero");
    EXPECT_EQ(jvm.fake.calls(),
              jvm_raises ? (Calls{"MonitorEnter", "ExceptionCheck", "ExceptionClear", "FindClass", "ThrowNew"})
                         : (Calls{"MonitorEnter", "ExceptionCheck", "FindClass", "ThrowNew"}));
  }
}

TEST_F(Nordevik, FailedMonitorExitComplainsAndThrows) {
  NordevikJvm jvm;
  jvm.monitors.exit_result["lock"] = -1;
  jvm.monitors.exit_raises["lock"] = "java.lang.IllegalMonitorStateException";
  // A later complaint of the image: the heading alone.
  zol_testing_set_complaint_count(1);
  EXPECT_EQ(jvm.run(), "# ERROR: Nordevik.cpp, 55: MonitorExit return non-zero: -1\n");
  EXPECT_EQ(jvm.monitors.log, (Calls{"+lock", "createStackFrame", "-lock"}));
  EXPECT_EQ(jvm.pending(), "zol/share/TestJNIError: MonitorExit return non-zero");
}

TEST_F(Nordevik, FailedMonitorExitAfterAThrowingCallbackReportsTheMonitor) {
  NordevikJvm jvm;
  jvm.callback_throws = true;
  jvm.monitors.exit_result["lock"] = 7;
  EXPECT_EQ(jvm.run(), zoltest::first_complaint("Nordevik.cpp", 55, "MonitorExit return non-zero: 7\n",
                                                "MonitorExit return non-zero: 7\n"));
  EXPECT_EQ(jvm.pending(), "zol/share/TestJNIError: MonitorExit return non-zero");
}

TEST_F(Nordevik, MissingTestJNIErrorLeavesItsNoClassDefFoundError) {
  NordevikJvm jvm;
  jvm.has_error_class = false;
  jvm.monitors.enter_result["lock"] = -1;
  zol_testing_set_complaint_count(1);
  EXPECT_EQ(jvm.run(), "# ERROR: Nordevik.cpp, 39: MonitorEnter return non-zero: -1\n");
  EXPECT_EQ(jvm.pending(), "java.lang.NoClassDefFoundError: zol/share/TestJNIError");
  EXPECT_EQ(jvm.fake.count("ThrowNew"), 0u);
}

}  // namespace
