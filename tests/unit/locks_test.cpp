// The lock-holding natives against a scripted JVM: the order of monitor
// operations and call backs, the pinned lines and texts of the verified
// steps and complaints, and the monitor failures a real JVM cannot produce.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "capture.h"
#include "fake_jni.h"
#include "share/native/zol_tools.h"
#include "support_state.h"

extern "C" {
void Java_zol_monitoring_share_thread_Quorvell_00024Thread1_B(JNIEnv* env, jobject o);
void Java_zol_share_locks_Nordevik_nativeJNIMonitorEnter(JNIEnv* env, jobject thisObject, jobject lock);
void Java_zol_jdi_ThreadReference_forceEarlyReturn_mirabon_mirabont_nativeJNIMonitorEnter(JNIEnv* env, jclass,
                                                                                          jobject lock);
void Java_zol_jdwp_ThreadReference_ForceEarlyReturn_ulmapin_ulmapine_nativeMethod(JNIEnv* env, jobject, jobject obj);
}

namespace {

using zoltest::capture;
using zoltest::FakeJni;
using Calls = std::vector<std::string>;

// Monitors as the JVM keeps them: MonitorEnter and MonitorExit log "+name" /
// "-name" and fail (with an optional pending exception) where a test says.
struct Monitors {
  FakeJni& fake;
  std::map<jobject, std::string> names;
  std::vector<std::string> log;
  std::map<std::string, jint> enter_result, exit_result;
  std::map<std::string, std::string> enter_raises, exit_raises;

  explicit Monitors(FakeJni& f) : fake(f) {
    FAKE_JNI_ON(fake, MonitorEnter, [this](jobject lock) { return op("+", lock, enter_result, enter_raises); });
    FAKE_JNI_ON(fake, MonitorExit, [this](jobject lock) { return op("-", lock, exit_result, exit_raises); });
  }
  jint op(const char* sign, jobject lock, std::map<std::string, jint>& results,
          std::map<std::string, std::string>& raises) {
    const std::string name = names.count(lock) ? names[lock] : "?";
    log.push_back(sign + name);
    if (raises.count(name)) fake.raise(raises[name]);
    return results.count(name) ? results[name] : 0;
  }
};

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

class Mirabont : public zoltest::FreshSupportState {
 protected:
  FakeJni fake;
  Monitors monitors{fake};
  jobject lock = fake.handle();
  jclass error = fake.klass("zol/share/TestJNIError");

  void SetUp() override {
    FreshSupportState::SetUp();
    monitors.names = {{lock, "lock"}};
    FAKE_JNI_ON(fake, FindClass, [this](const char* name) {
      EXPECT_STREQ(name, "zol/share/TestJNIError");
      EXPECT_EQ(fake.pending(), nullptr);
      return error;
    });
  }
  std::string run() {
    return capture([&] {
             Java_zol_jdi_ThreadReference_forceEarlyReturn_mirabon_mirabont_nativeJNIMonitorEnter(
                 fake.env(), fake.klass("zol/jdi/ThreadReference/forceEarlyReturn/mirabon/mirabont"), lock);
           })
        .out;
  }
};

TEST_F(Mirabont, EachCallEntersOnceMoreAndNeverExits) {
  EXPECT_EQ(run(), "");
  EXPECT_EQ(run(), "");
  EXPECT_EQ(monitors.log, (Calls{"+lock", "+lock"}));
  EXPECT_EQ(fake.calls(), (Calls{"MonitorEnter", "MonitorEnter"}));
  EXPECT_EQ(fake.pending(), nullptr);
}

TEST_F(Mirabont, FailedMonitorEnterComplainsAndThrows) {
  monitors.enter_result["lock"] = -1;
  monitors.enter_raises["lock"] = "java.lang.NullPointerException";
  EXPECT_EQ(run(), zoltest::first_complaint("libmirabont.cpp", 37, "MonitorEnter return non-zero: -1\n",
                                            "MonitorEnter return non-zero: -1\n"));
  EXPECT_EQ(fake.description(fake.pending()), "zol/share/TestJNIError: MonitorEnter return non-zero");
  // The caller handles the exception; the next failure of the image prints its heading alone.
  fake.env()->ExceptionClear();
  monitors.enter_result["lock"] = 2;
  monitors.enter_raises.clear();
  EXPECT_EQ(run(), "# ERROR: libmirabont.cpp, 37: MonitorEnter return non-zero: 2\n");
  EXPECT_EQ(monitors.log, (Calls{"+lock", "+lock"}));
}

struct UlmapineJvm {
  FakeJni fake;
  jobject obj = fake.handle();
  jclass cls = fake.klass("zol/jdwp/ThreadReference/ForceEarlyReturn/ulmapin/ulmapine");
  jfieldID flag_id = fake.handle<jfieldID>();
  std::atomic<bool> flag{false};

  explicit UlmapineJvm(bool has_field) {
    FAKE_JNI_ON(fake, GetObjectClass, [this](jobject o) {
      EXPECT_EQ(o, obj);
      return cls;
    });
    FAKE_JNI_ON(fake, GetFieldID, [this, has_field](jclass c, const char* name, const char* sig) -> jfieldID {
      EXPECT_EQ(c, cls);
      EXPECT_EQ(std::string(name) + ":" + sig, "threadInNative:Z");
      if (has_field) return flag_id;
      fake.raise("java.lang.NoSuchFieldError: threadInNative");
      return nullptr;
    });
    FAKE_JNI_ON(fake, SetBooleanField, [this](jobject o, jfieldID field, jboolean value) {
      EXPECT_EQ(o, obj);
      EXPECT_EQ(field, flag_id);
      flag = value == JNI_TRUE;
    });
  }
  void run() { Java_zol_jdwp_ThreadReference_ForceEarlyReturn_ulmapin_ulmapine_nativeMethod(fake.env(), cls, obj); }
};

// In a child: the spinning thread is never joined, and the child's exit
// status tells what the parent cannot see.
TEST(Ulmapine, SetsTheFlagThenNeverReturnsNorCallsTheJvmAgain) {
  const zoltest::Exit exit = zoltest::run_forked([] {
    UlmapineJvm* jvm = new UlmapineJvm(true);  // lives until the child ends
    std::atomic<bool>* returned = new std::atomic<bool>(false);
    std::thread([jvm, returned] {
      jvm->run();
      *returned = true;
    }).detach();
    for (int i = 0; i < 5000 && !jvm->flag; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const bool ok = jvm->flag && !*returned && jvm->fake.calls().size() == 3;
    fflush(nullptr);
    _exit(ok ? 42 : 1);
  });
  EXPECT_EQ(exit.status, 42) << exit.out << exit.err;
}

TEST(Ulmapine, MissingFieldReturnsWithItsErrorPending) {
  UlmapineJvm jvm(false);
  jvm.run();
  EXPECT_EQ(jvm.fake.calls(), (Calls{"GetObjectClass", "GetFieldID"}));
  EXPECT_EQ(jvm.fake.description(jvm.fake.pending()), "java.lang.NoSuchFieldError: threadInNative");
  EXPECT_FALSE(jvm.flag);
}

}  // namespace
