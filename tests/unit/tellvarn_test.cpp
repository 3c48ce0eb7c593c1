// tellvarn with its clock and allocator interposed, so that 180 simulated
// seconds pass at once: every pass allocates one byte and frees it at once,
// the loop ends on the first pass after 180 whole seconds, and nothing stays
// allocated. Also run on a copy built at -O2, where a careless loop loses
// its allocator calls to the optimiser.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_jni.h"
#include "interpose.h"

extern "C" {
void Java_gc_gctests_tellvarn_tellvarn_getMallocLock02(JNIEnv* env, jobject self);
void tellvarn_getMallocLock02_at_O2(JNIEnv* env, jobject self);
}

namespace {

using zoltest::interposed;
using zoltest::scripted_clock;
using Calls = std::vector<std::string>;
using Native = void (*)(JNIEnv*, jobject);

const time_t kStart = 1700000000;

const Native kBuilds[] = {Java_gc_gctests_tellvarn_tellvarn_getMallocLock02, tellvarn_getMallocLock02_at_O2};

Calls passes(size_t n) {
  Calls log = {"time"};
  for (size_t i = 0; i < n; i++) log.insert(log.end(), {"malloc(1)", "free(last)", "time"});
  return log;
}

// Every JNI function traps: the native must make no JNI call.
void run(Native native, const std::function<time_t()>& clock) {
  zoltest::FakeJni fake;
  interposed.clock = clock;
  native(fake.env(), fake.handle());
  EXPECT_TRUE(fake.calls().empty());
}

TEST(Tellvarn, EveryPassAllocatesOneByteAndFreesItUntil180SecondsHavePassed) {
  for (Native native : kBuilds) {
    zoltest::Scope scope;
    // The clock moves on one second every three readings: 540 passes.
    auto reads = std::make_shared<time_t>(0);
    run(native, [reads] { return kStart + (*reads)++ / 3; });
    EXPECT_EQ(interposed.log, passes(540));
    EXPECT_EQ(interposed.live_blocks, 0);
  }
}

TEST(Tellvarn, EndsOnTheFirstPassThatReads180SecondsAfterTheStart) {
  for (Native native : kBuilds) {
    zoltest::Scope scope;
    run(native, scripted_clock({kStart, kStart + 179, kStart + 179, kStart + 180, kStart + 181}));
    EXPECT_EQ(interposed.log, passes(3)) << "the fifth reading is not taken";
  }
  for (Native native : kBuilds) {
    zoltest::Scope scope;
    // A clock that jumps past the end stops the loop after one pass.
    run(native, scripted_clock({kStart, kStart + 100000}));
    EXPECT_EQ(interposed.log, passes(1));
  }
}

TEST(Tellvarn, FailedAllocationIsFreedAndChangesNothing) {
  for (Native native : kBuilds) {
    zoltest::Scope scope;
    interposed.fail_malloc_of = 1;
    run(native, scripted_clock({kStart, kStart + 1, kStart + 180}));
    EXPECT_EQ(interposed.log, (Calls{"time", "malloc(1)", "free(null)", "time", "malloc(1)", "free(null)", "time"}));
  }
}

}  // namespace
