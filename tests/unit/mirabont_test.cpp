// mirabont against a scripted JVM: each call enters the monitor once more
// and never exits it; a failed enter complains at its pinned line and throws.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture.h"
#include "fake_jni.h"
#include "monitors.h"
#include "support_state.h"

extern "C" {
void Java_zol_jdi_ThreadReference_forceEarlyReturn_mirabon_mirabont_nativeJNIMonitorEnter(JNIEnv* env, jclass,
                                                                                          jobject lock);
}

namespace {

using zoltest::capture;
using zoltest::FakeJni;
using zoltest::Monitors;
using Calls = std::vector<std::string>;

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

}  // namespace
