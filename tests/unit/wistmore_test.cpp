// Wistmore: every attach fails, whatever the options, and prints nothing.

#include <gtest/gtest.h>
#include <jvmti.h>

#include "capture.h"

namespace {

using zoltest::capture;

TEST(Wistmore, EveryAttachFails) {
  char options[] = "some=options";
  EXPECT_EQ(capture([&] {
              EXPECT_EQ(Agent_OnAttach(nullptr, nullptr, nullptr), JNI_ERR);
              EXPECT_EQ(Agent_OnAttach(nullptr, options, nullptr), JNI_ERR);
            }).out,
            "");
}

}  // namespace
