// ulmapine against a scripted JVM: the flag is set, then the native frame
// never returns nor calls the JVM again; a null object or a missing flag
// field returns with its error pending.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "capture.h"
#include "fake_jni.h"

extern "C" {
void Java_zol_jdwp_ThreadReference_ForceEarlyReturn_ulmapin_ulmapine_nativeMethod(JNIEnv* env, jobject, jobject obj);
}

namespace {

using zoltest::FakeJni;
using Calls = std::vector<std::string>;

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
  void run(jobject arg) {
    Java_zol_jdwp_ThreadReference_ForceEarlyReturn_ulmapin_ulmapine_nativeMethod(fake.env(), cls, arg);
  }
  void run() { run(obj); }
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

// Without the field, a native that went on to GetObjectClass(NULL) would
// return here instead of spinning, and the test would show it.
TEST(Ulmapine, NullObjectGetsNullPointerExceptionAndNoOtherCall) {
  UlmapineJvm jvm(false);
  FAKE_JNI_ON(jvm.fake, FindClass, [&](const char* name) { return jvm.fake.klass(name); });
  jvm.run(nullptr);
  EXPECT_EQ(jvm.fake.calls(), (Calls{"FindClass", "ThrowNew"}));
  EXPECT_EQ(jvm.fake.description(jvm.fake.pending()),
            "java/lang/NullPointerException: nativeMethod: the object is null");
}

}  // namespace
