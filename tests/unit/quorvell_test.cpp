// Quorvell against a scripted JVM: the order of monitor operations and the
// call of C, the pinned lines and texts of the verified steps and
// complaints, and the monitor failures a real JVM cannot produce.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture.h"
#include "fake_jni.h"
#include "monitors.h"
#include "share/native/zol_tools.h"
#include "support_state.h"

extern "C" {
void Java_zol_monitoring_share_thread_Quorvell_00024Thread1_B(JNIEnv* env, jobject o);
}

namespace {

using zoltest::capture;
using zoltest::FakeJni;
using zoltest::Monitors;
using Calls = std::vector<std::string>;

const char kLock4Text[] =
    "(field = env->GetFieldID(threadClass, \"lock4\", \"Lzol/monitoring/share/thread/Quorvell$CustomLock;\")) != NULL";
const char kLock5Text[] =
    "(field = env->GetFieldID(threadClass, \"lock5\", \"Lzol/monitoring/share/thread/Quorvell$CustomLock;\")) != NULL";
const char kClassText[] = "(threadClass = env->GetObjectClass(o)) != NULL";
const char kTestBugText[] = "(testBugClass = env->FindClass(\"zol/share/TestBug\")) != NULL";
const char kMethodText[] = "(method = env->GetMethodID(threadClass, \"C\", \"()V\")) != NULL";
const char kCallText[] = "env->CallVoidMethod(o, method)";

// A Quorvell$Thread1 receiver with its two locks; C logs "C" into the
// monitor log, so the log shows what C ran inside of.
struct QuorvellJvm {
  FakeJni fake;
  Monitors monitors{fake};
  jobject receiver = fake.handle();
  jclass thread_class = fake.klass("zol/monitoring/share/thread/Quorvell$Thread1");
  jclass test_bug = fake.klass("zol/share/TestBug");
  jobject lock4 = fake.handle();
  jobject lock5 = fake.handle();
  jfieldID lock4_id = fake.handle<jfieldID>();
  jfieldID lock5_id = fake.handle<jfieldID>();
  jmethodID c_id = fake.handle<jmethodID>();
  // The lookup that fails, with the exception it leaves, and whether C throws.
  std::string failing;
  bool c_throws = false;

  template <typename T>
  T lookup(const std::string& what, T found) {
    if (what != failing) return found;
    fake.raise("java.lang.NoSuchFieldError: " + what);
    return nullptr;
  }

  QuorvellJvm() {
    monitors.names = {{lock4, "lock4"}, {lock5, "lock5"}};
    FAKE_JNI_ON(fake, GetObjectClass, [this](jobject obj) {
      EXPECT_EQ(obj, receiver);
      return lookup("GetObjectClass", thread_class);
    });
    FAKE_JNI_ON(fake, FindClass, [this](const char* name) {
      EXPECT_STREQ(name, "zol/share/TestBug");
      return lookup("FindClass", test_bug);
    });
    FAKE_JNI_ON(fake, GetFieldID, [this](jclass cls, const char* name, const char* sig) {
      EXPECT_EQ(cls, thread_class);
      EXPECT_STREQ(sig, "Lzol/monitoring/share/thread/Quorvell$CustomLock;");
      return lookup(name, std::string(name) == "lock4" ? lock4_id : lock5_id);
    });
    FAKE_JNI_ON(fake, GetObjectField, [this](jobject obj, jfieldID field) {
      EXPECT_EQ(obj, receiver);
      return field == lock4_id ? lock4 : field == lock5_id ? lock5 : nullptr;
    });
    FAKE_JNI_ON(fake, GetMethodID, [this](jclass cls, const char* name, const char* sig) {
      EXPECT_EQ(cls, thread_class);
      EXPECT_EQ(std::string(name) + sig, "C()V");
      return lookup("C", c_id);
    });
    FAKE_JNI_ON(fake, CallVoidMethodV, [this](jobject obj, jmethodID method, va_list) {
      EXPECT_EQ(obj, receiver);
      EXPECT_EQ(method, c_id);
      monitors.log.push_back("C");
      if (c_throws) fake.raise("java.lang.IllegalStateException: thrown by C");
    });
  }

  std::string run() {
    return capture([&] { Java_zol_monitoring_share_thread_Quorvell_00024Thread1_B(fake.env(), receiver); }).out;
  }
  std::string pending() const { return fake.description(fake.pending()); }
};

class Quorvell : public zoltest::FreshSupportState {};

TEST_F(Quorvell, CallsCInsideBothMonitorsAndExitsThemInReverse) {
  QuorvellJvm jvm;
  EXPECT_EQ(jvm.run(), "");
  EXPECT_EQ(jvm.monitors.log, (Calls{"+lock4", "+lock5", "C", "-lock5", "-lock4"}));
  // Every lookup is verified, and both fields are read before any monitor is entered.
  EXPECT_EQ(jvm.fake.calls(),
            (Calls{"GetObjectClass", "ExceptionOccurred", "FindClass", "ExceptionOccurred", "GetFieldID",
                   "ExceptionOccurred", "GetObjectField", "GetFieldID", "ExceptionOccurred", "GetObjectField",
                   "MonitorEnter", "MonitorEnter", "GetMethodID", "ExceptionOccurred", "CallVoidMethodV",
                   "ExceptionOccurred", "MonitorExit", "MonitorExit"}));
  EXPECT_EQ(jvm.fake.pending(), nullptr);
}

TEST_F(Quorvell, TracesEveryVerifiedStepAtItsLine) {
  zol_testing_set_trace_mask(ZOL_TRACE_CALL);
  QuorvellJvm jvm;
  const std::string eo = "- jni_tools.cpp, 56: >> throwable = jni->ExceptionOccurred()\n";
  EXPECT_EQ(jvm.run(), std::string("- Quorvell.cpp, 68: >> ") + kClassText + "\n" + eo + "- Quorvell.cpp, 69: >> " +
                           kTestBugText + "\n" + eo + "- Quorvell.cpp, 70: >> " + kLock4Text + "\n" + eo +
                           "- Quorvell.cpp, 71: >> " + kLock5Text + "\n" + eo + "- Quorvell.cpp, 74: >> " +
                           kMethodText + "\n" + eo + "- Quorvell.cpp, 74: >> " + kCallText + "\n" + eo);
}

TEST_F(Quorvell, FailedEnterOfLock4ThrowsTestBugAndEntersNothing) {
  QuorvellJvm jvm;
  jvm.monitors.enter_result["lock4"] = -1;
  EXPECT_EQ(jvm.run(), "");
  EXPECT_EQ(jvm.monitors.log, (Calls{"+lock4"}));
  EXPECT_EQ(jvm.pending(), "zol/share/TestBug: MonitorEnter(lock4) call failed");
  EXPECT_EQ(jvm.fake.count("GetMethodID"), 0u);
}

TEST_F(Quorvell, FailedEnterOfLock5ThrowsTestBugAndExitsLock4) {
  for (const bool jvm_raises : {false, true}) {
    SCOPED_TRACE(jvm_raises ? "with the JVM's exception pending" : "without an exception");
    QuorvellJvm jvm;
    jvm.monitors.enter_result["lock5"] = -1;
    if (jvm_raises) jvm.monitors.enter_raises["lock5"] = "java.lang.NullPointerException";
    EXPECT_EQ(jvm.run(), "");
    EXPECT_EQ(jvm.monitors.log, (Calls{"+lock4", "+lock5", "-lock4"}));
    // The TestBug replaces whatever MonitorEnter left, and ThrowNew is never
    // called with an exception pending.
    EXPECT_EQ(jvm.pending(), "zol/share/TestBug: MonitorEnter(lock5) call failed");
    const Calls& calls = jvm.fake.calls();
    const Calls tail(calls.end() - (jvm_raises ? 4 : 3), calls.end());
    EXPECT_EQ(tail, jvm_raises ? (Calls{"ExceptionCheck", "ExceptionClear", "ThrowNew", "MonitorExit"})
                               : (Calls{"ExceptionCheck", "ThrowNew", "MonitorExit"}));
  }
}

// A failed lookup before the monitors: its complaints, a normal return,
// nothing entered and nothing pending.
TEST_F(Quorvell, FailedLookupComplainsAndReturnsWithNothingEntered) {
  struct Case {
    const char* failing;
    int line;
    const char* text;
  };
  for (const Case& c : {Case{"GetObjectClass", 68, kClassText}, Case{"FindClass", 69, kTestBugText},
                        Case{"lock4", 70, kLock4Text}, Case{"lock5", 71, kLock5Text}}) {
    SCOPED_TRACE(c.failing);
    zol_testing_set_complaint_count(0);
    QuorvellJvm jvm;
    jvm.failing = c.failing;
    const std::string line = std::to_string(c.line);
    EXPECT_EQ(jvm.run(),
              zoltest::first_complaint("Quorvell.cpp", c.line, std::string(c.text) + "\n", std::string(c.text) + "\n") +
                  "#   verified JNI assertion is FALSE\n# ERROR: Quorvell.cpp, " + line +
                  ": Exception in JNI call (cleared):\n[described: java.lang.NoSuchFieldError: " + c.failing + "]\n");
    EXPECT_TRUE(jvm.monitors.log.empty());
    EXPECT_EQ(jvm.fake.pending(), nullptr);
  }
}

TEST_F(Quorvell, MissingCStillExitsBothMonitors) {
  QuorvellJvm jvm;
  jvm.failing = "C";
  EXPECT_EQ(jvm.run(), zoltest::first_complaint("Quorvell.cpp", 74, std::string(kMethodText) + "\n",
                                                std::string(kMethodText) + "\n") +
                           "#   verified JNI assertion is FALSE\n# ERROR: Quorvell.cpp, 74: Exception in JNI call "
                           "(cleared):\n[described: java.lang.NoSuchFieldError: C]\n");
  EXPECT_EQ(jvm.monitors.log, (Calls{"+lock4", "+lock5", "-lock5", "-lock4"}));
  EXPECT_EQ(jvm.fake.count("CallVoidMethodV"), 0u);
  EXPECT_EQ(jvm.fake.pending(), nullptr);
}

TEST_F(Quorvell, ExceptionOfCIsClearedAndBothMonitorsAreExited) {
  QuorvellJvm jvm;
  jvm.c_throws = true;
  EXPECT_EQ(jvm.run(), zoltest::first_complaint("Quorvell.cpp", 74, "Exception in JNI call (cleared):\n",
                                                "Exception in JNI call (cleared):\n") +
                           "[described: java.lang.IllegalStateException: thrown by C]\n# ERROR: Quorvell.cpp, 74: " +
                           kCallText + "\n");
  EXPECT_EQ(jvm.monitors.log, (Calls{"+lock4", "+lock5", "C", "-lock5", "-lock4"}));
  EXPECT_EQ(jvm.fake.pending(), nullptr);
}

}  // namespace
