// brantholm against a scripted JVM: the order of the JNI calls
// (nothing but the exception check inside a critical region, the monitor held
// throughout), reads bounded by what the VM hands out (the string's units, the
// array's elements: exact-size blocks, so the sanitizer build sees any read
// past them), where each malloc happens, that it is freed and what the block
// holds then (the string's characters are overwritten on their release, so a
// copy made after it shows), and the paths a real JVM does not produce:
// exceptions at each checked call and failed allocations. The digest's units
// are its bytes read in the machine's order, so every expected unit is made
// from its two bytes (unit()), the same on either byte order.

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "capture.h"
#include "fake_jni.h"

extern "C" {
jcharArray Java_zol_stress_jni_JNIter004_CheckSum(JNIEnv* env, jobject self, jstring str);
jboolean Java_zol_stress_jni_JNIter004_CheckCompare(JNIEnv* env, jobject self, jstring str, jcharArray sum, jint limit);

// The natives' allocations, counted while a native runs; the test binary is
// linked with --wrap=malloc --wrap=free (CMakeLists.txt).
void* __real_malloc(size_t size);
void __real_free(void* block);
}

namespace {

bool counting = false;
long mallocs = 0;
long frees = 0;
long fail_malloc_number = 0;  // 1 = the first counted malloc returns null

// Each counted block: its size, the number of JNI calls made before its malloc
// and before its free, and what it held when freed (its first 4 KiB).
struct Block {
  void* address;
  size_t size;
  size_t malloc_at;
  size_t free_at;
  std::vector<unsigned char> at_free;
};
std::vector<Block> blocks;
const zoltest::FakeJni* watched = nullptr;  // whose calls the positions count

// The bookkeeping's own allocations are not counted.
template <typename F>
void uncounted(F&& record) {
  counting = false;
  record();
  counting = true;
}

}  // namespace

extern "C" void* __wrap_malloc(size_t size) {
  if (!counting) return __real_malloc(size);
  if (++mallocs == fail_malloc_number) return nullptr;
  void* block = __real_malloc(size);
  uncounted([&] { blocks.push_back({block, size, watched->calls().size(), SIZE_MAX, {}}); });
  return block;
}

extern "C" void __wrap_free(void* block) {
  if (!counting || block == nullptr) return __real_free(block);
  ++frees;
  uncounted([&] {
    for (Block& b : blocks) {
      if (b.address != block || b.free_at != SIZE_MAX) continue;
      b.free_at = watched->calls().size();
      // The first 4 KiB: the longest string's buffer has 2 GiB, untouched.
      const unsigned char* bytes = static_cast<const unsigned char*>(block);
      b.at_free.assign(bytes, bytes + std::min(b.size, size_t{4096}));
      break;
    }
  });
  __real_free(block);
}

namespace {

using zoltest::capture;
using zoltest::FakeJni;
using zoltest::join;
using Calls = std::vector<std::string>;

double thread_cpu_seconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// The digest unit whose two bytes lie in memory as first, second.
jchar unit(unsigned first, unsigned second) {
  const unsigned char bytes[2] = {static_cast<unsigned char>(first), static_cast<unsigned char>(second)};
  jchar u;
  memcpy(&u, bytes, sizeof u);
  return u;
}

// Calls of CheckCompare that got past the limit test in this process, as the
// library counts them; the halt tests aim their limit with it.
jint counted_compares = 0;

// A fresh exact-size copy of units, as a critical region hands them out.
struct Region {
  std::unique_ptr<jchar[]> block;
  jchar* open(const std::vector<jchar>& units) {
    block.reset(new jchar[units.empty() ? 1 : units.size()]);
    std::copy(units.begin(), units.end(), block.get());
    return block.get();
  }
};

struct BrantholmJvm {
  FakeJni fake;
  jobject self = fake.handle();
  jstring str = fake.handle<jstring>();
  jcharArray sum = fake.handle<jcharArray>();
  jcharArray made = fake.handle<jcharArray>();
  jclass test_class = fake.klass("zol/stress/jni/JNIter004");
  jmethodID halt_id = fake.handle<jmethodID>();
  std::vector<jchar> units;
  jsize utf_length = 0;
  std::vector<jchar> elements;
  std::vector<jchar> region_set;
  int monitor_depth = 0;
  int halts = 0;
  bool critical_null = false;
  Region string_region, array_region;
  // The JNI function whose call leaves an exception pending.
  std::string raise_in;

  void maybe_raise(const char* function) {
    if (raise_in == function) fake.raise(std::string("java.lang.Error: in ") + function);
  }

  void set_string(const std::vector<jchar>& string_units, jsize utf) {
    units = string_units;
    utf_length = utf;
  }
  void set_ascii(const std::string& s) {
    set_string(std::vector<jchar>(s.begin(), s.end()), static_cast<jsize>(s.size()));
  }

  BrantholmJvm() {
    FAKE_JNI_ON(fake, GetStringUTFLength, [this](jstring s) {
      EXPECT_EQ(s, str);
      maybe_raise("GetStringUTFLength");
      return utf_length;
    });
    FAKE_JNI_ON(fake, GetStringLength, [this](jstring) { return static_cast<jsize>(units.size()); });
    FAKE_JNI_ON(fake, MonitorEnter, [this](jobject obj) -> jint {
      EXPECT_EQ(obj, self);
      ++monitor_depth;
      maybe_raise("MonitorEnter");
      return 0;
    });
    FAKE_JNI_ON(fake, MonitorExit, [this](jobject obj) -> jint {
      EXPECT_EQ(obj, self);
      --monitor_depth;
      maybe_raise("MonitorExit");
      return 0;
    });
    FAKE_JNI_ON(fake, GetStringCritical, [this](jstring s, jboolean*) -> const jchar* {
      EXPECT_EQ(s, str);
      EXPECT_EQ(monitor_depth, 1);
      maybe_raise("GetStringCritical");
      return critical_null ? nullptr : string_region.open(units);
    });
    FAKE_JNI_ON(fake, ReleaseStringCritical, [this](jstring, const jchar* chars) {
      EXPECT_EQ(chars, string_region.block.get());
      // Released characters may move: what is read from them now is wrong.
      std::fill(string_region.block.get(), string_region.block.get() + units.size(), jchar{0xa5a5});
      maybe_raise("ReleaseStringCritical");
    });
    FAKE_JNI_ON(fake, NewCharArray, [this](jsize length) {
      EXPECT_EQ(length, 8);
      maybe_raise("NewCharArray");
      return made;
    });
    FAKE_JNI_ON(fake, GetArrayLength, [this](jarray array) {
      maybe_raise("GetArrayLength");
      return array == made ? 8 : static_cast<jsize>(elements.size());
    });
    FAKE_JNI_ON(fake, SetCharArrayRegion, [this](jcharArray array, jsize start, jsize length, const jchar* buf) {
      EXPECT_EQ(array, made);
      EXPECT_EQ(start, 0);
      region_set.assign(buf, buf + length);
      maybe_raise("SetCharArrayRegion");
    });
    FAKE_JNI_ON(fake, GetPrimitiveArrayCritical, [this](jarray array, jboolean*) -> void* {
      EXPECT_EQ(array, sum);
      EXPECT_EQ(monitor_depth, 1);
      maybe_raise("GetPrimitiveArrayCritical");
      return array_region.open(elements);
    });
    FAKE_JNI_ON(fake, ReleasePrimitiveArrayCritical, [this](jarray, void* elems, jint mode) {
      EXPECT_EQ(elems, array_region.block.get());
      EXPECT_EQ(mode, 0);
      array_region.block.reset();
      ++counted_compares;
      maybe_raise("ReleasePrimitiveArrayCritical");
    });
    FAKE_JNI_ON(fake, GetObjectClass, [this](jobject obj) {
      EXPECT_EQ(obj, self);
      maybe_raise("GetObjectClass");
      return test_class;
    });
    FAKE_JNI_ON(fake, GetStaticMethodID, [this](jclass cls, const char* name, const char* sig) -> jmethodID {
      EXPECT_EQ(cls, test_class);
      EXPECT_EQ(std::string(name) + sig, "halt()V");
      if (raise_in == "GetStaticMethodID") {
        fake.raise("java.lang.NoSuchMethodError: halt");
        return nullptr;
      }
      return halt_id;
    });
    FAKE_JNI_ON(fake, CallStaticVoidMethodV, [this](jclass cls, jmethodID method, va_list) {
      EXPECT_EQ(cls, test_class);
      EXPECT_EQ(method, halt_id);
      ++halts;
      maybe_raise("CallStaticVoidMethod");
    });
  }

  // The natives, with their allocations counted.
  std::vector<jchar> check_sum() {
    watched = &fake;
    counting = true;
    EXPECT_EQ(Java_zol_stress_jni_JNIter004_CheckSum(fake.env(), self, str), made);
    counting = false;
    return region_set;
  }
  jboolean check_compare(jint limit) {
    watched = &fake;
    counting = true;
    const jboolean result = Java_zol_stress_jni_JNIter004_CheckCompare(fake.env(), self, str, sum, limit);
    counting = false;
    return result;
  }
};

class Brantholm : public ::testing::Test {
 protected:
  void SetUp() override {
    mallocs = frees = fail_malloc_number = 0;
    blocks.clear();
  }
  void TearDown() override {
    EXPECT_EQ(mallocs, frees) << "blocks left behind";
    fail_malloc_number = 0;
  }
};

const Calls kCheckSumCalls = {"GetStringUTFLength",    "ExceptionOccurred", "GetStringLength",   "MonitorEnter",
                              "ExceptionOccurred",     "ExceptionOccurred", "GetStringCritical", "ExceptionOccurred",
                              "ReleaseStringCritical", "ExceptionOccurred", "ExceptionOccurred", "NewCharArray",
                              "ExceptionOccurred",     "GetArrayLength",    "ExceptionOccurred", "SetCharArrayRegion",
                              "ExceptionOccurred",     "MonitorExit",       "ExceptionOccurred"};

const Calls kCheckCompareHead = {"GetStringUTFLength", "ExceptionOccurred", "GetStringLength",  "GetArrayLength",
                                 "ExceptionOccurred",  "MonitorEnter",      "ExceptionOccurred"};
const Calls kCheckCompareBody = {"ExceptionOccurred",         "GetStringCritical", "ExceptionOccurred",
                                 "ReleaseStringCritical",     "ExceptionOccurred", "ExceptionOccurred",
                                 "GetPrimitiveArrayCritical", "ExceptionOccurred", "ReleasePrimitiveArrayCritical",
                                 "ExceptionOccurred"};
const Calls kHaltCalls = {"GetObjectClass",    "ExceptionOccurred",     "GetStaticMethodID",
                          "ExceptionOccurred", "CallStaticVoidMethodV", "ExceptionOccurred"};
const Calls kMonitorExitCalls = {"MonitorExit", "ExceptionOccurred"};

// The counted blocks as "size@malloc_at-free_at", the positions counted in
// JNI calls made before.
std::string trail() {
  std::string all;
  for (const Block& b : blocks) {
    all += (all.empty() ? "" : " ") + std::to_string(b.size) + "@" + std::to_string(b.malloc_at) + "-" +
           (b.free_at == SIZE_MAX ? std::string("never") : std::to_string(b.free_at));
  }
  return all;
}

std::vector<unsigned char> low_bytes(const std::vector<jchar>& units) {
  return std::vector<unsigned char>(units.begin(), units.end());
}

std::string element_lines(const std::vector<std::pair<unsigned, unsigned>>& pairs) {
  std::string lines;
  char line[64];
  for (size_t j = 0; j < pairs.size(); j++) {
    if (pairs[j].first != pairs[j].second) lines += "Error in " + std::to_string(j) + "\n";
    snprintf(line, sizeof line, "ch[%zu]=%02x tmp[%zu]=%02x\n", j, pairs[j].first, j, pairs[j].second);
    lines += line;
  }
  return "Comparing: " + lines + "\n";
}

TEST_F(Brantholm, CheckSumHoldsTheMonitorAndCallsNothingInsideTheRegion) {
  BrantholmJvm jvm;
  jvm.set_ascii("abc");
  EXPECT_EQ(jvm.check_sum(), (std::vector<jchar>{unit('a', 'b'), unit('c', 0), 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(jvm.fake.calls(), kCheckSumCalls);
  EXPECT_EQ(jvm.monitor_depth, 0);
  // The character buffer before MonitorEnter, freed before the quiet check
  // after the region; the working copy after MonitorEnter.
  ASSERT_EQ(trail(), "3@3-10 16@5-17");
  EXPECT_EQ(blocks[0].at_free, low_bytes(jvm.units));
}

TEST_F(Brantholm, CheckSumOfLongAndEmptyStrings) {
  BrantholmJvm jvm;
  jvm.set_ascii("");
  EXPECT_EQ(jvm.check_sum(), std::vector<jchar>(8, 0));
  // 40 bytes: positions 0..7 get three bytes, 8..15 two.
  std::string s;
  for (int i = 0; i < 40; i++) s += static_cast<char>(i % 2 == 0 ? 0x7f : 0x01);
  jvm.set_ascii(s);
  const jchar three = unit(3 * 0x7f % 256, 3), two = unit(2 * 0x7f, 2);
  EXPECT_EQ(jvm.check_sum(), (std::vector<jchar>{three, three, three, three, two, two, two, two}));
}

TEST_F(Brantholm, UtfLengthBeyondTheUnitsReadsOnlyTheUnits) {
  BrantholmJvm jvm;
  // Euro sign, e acute, A: UTF length 6, three units. The bytes past the
  // units count as zero.
  jvm.set_string({0x20ac, 0x00e9, 0x0041}, 6);
  const std::vector<jchar> digest{unit(0xac, 0xe9), unit(0x41, 0), 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(jvm.check_sum(), digest);
  jvm.elements = digest;
  std::string out;
  jvm.fake.clear_calls();
  out = capture([&] { EXPECT_EQ(jvm.check_compare(INT_MAX), JNI_TRUE); }).out;
  EXPECT_EQ(out, element_lines(
                     {{digest[0], digest[0]}, {digest[1], digest[1]}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}}));
  // Both buffers are of the UTF length; the units fill the first three bytes.
  ASSERT_EQ(trail(), "6@3-10 16@5-17 6@3-12 16@7-17");
  for (size_t b : {0, 2})
    EXPECT_EQ(std::vector<unsigned char>(blocks[b].at_free.begin(), blocks[b].at_free.begin() + 3),
              (std::vector<unsigned char>{0xac, 0xe9, 0x41}));
}

// Every readable unit goes through the buffer, in CheckCompare too, although
// its digest depends on the first 16 bytes only.
TEST_F(Brantholm, BothNativesCopyTheWholeStringInsideTheRegion) {
  BrantholmJvm jvm;
  std::vector<jchar> units(1000);
  for (int i = 0; i < 1000; i++) units[i] = static_cast<jchar>(0x3b00 + i * 7);
  jvm.set_string(units, 1000);
  jvm.elements.assign(8, 0);
  jvm.check_sum();
  jvm.fake.clear_calls();
  capture([&] { jvm.check_compare(INT_MAX); });
  // CheckCompare's buffer before GetArrayLength, freed before the quiet check
  // after the region; its working copy after MonitorEnter.
  ASSERT_EQ(trail(), "1000@3-10 16@5-17 1000@3-12 16@7-17");
  EXPECT_EQ(blocks[0].at_free, low_bytes(units));
  EXPECT_EQ(blocks[2].at_free, low_bytes(units));
}

// The longest string a jsize can give: a UTF length of 2^31 - 1, of which the
// first 33 units come from the string and the rest count as zero. No block
// bound may overflow, and the region is read no further than its units.
TEST_F(Brantholm, TheLongestStringIsSummedWithoutOverflowOrOverrun) {
  const jsize length = INT_MAX;
  std::vector<jchar> units;
  for (jchar i = 0; i < 33; i++) units.push_back(static_cast<jchar>(0x140 + i));  // the high byte is not summed
  unsigned char by_position[16] = {0}, by_count[16] = {0};
  for (size_t i = 0; i < units.size(); i++)
    by_position[i % 16] = static_cast<unsigned char>(by_position[i % 16] + units[i]);
  // CheckCompare adds position k's byte once for every i < 2^31 - 1 with i mod 16 = k.
  for (size_t k = 0; k < 16; k++)
    by_count[k] = static_cast<unsigned char>(size_t{units[k]} * (INT_MAX / 16 + (k < INT_MAX % 16 ? 1u : 0u)));

  BrantholmJvm jvm;
  jvm.set_string(units, length);
  std::vector<std::pair<unsigned, unsigned>> pairs;
  std::vector<jchar> digest;
  for (size_t m = 0; m < 8; m++) {
    digest.push_back(unit(by_position[2 * m], by_position[2 * m + 1]));
    const jchar counted = unit(by_count[2 * m], by_count[2 * m + 1]);
    jvm.elements.push_back(counted);
    pairs.emplace_back(counted, counted);
  }
  EXPECT_EQ(jvm.check_sum(), digest);
  double compare_seconds = 0;
  std::string out = capture([&] {
                      const double start = thread_cpu_seconds();
                      EXPECT_EQ(jvm.check_compare(INT_MAX), JNI_TRUE);
                      compare_seconds = thread_cpu_seconds() - start;
                    }).out;
  EXPECT_EQ(out, element_lines(pairs));
  ASSERT_EQ(blocks.size(), 4u);
  EXPECT_EQ(blocks[2].size, size_t{INT_MAX});
  // Only 33 bytes are read, yet CheckCompare adds 2^31 - 1 times: even 64
  // lanes four at a time take 8 million cycles, over 1 ms below 8 GHz, where
  // a product in place of the additions takes microseconds.
  EXPECT_GE(compare_seconds, 0.001) << "the additions were not all made";
}

TEST_F(Brantholm, CheckCompareOfSeventeenBytesAddsTheFirstByteTwice) {
  BrantholmJvm jvm;
  jvm.set_ascii("abcdefghijklmnopq");
  jvm.elements = jvm.check_sum();
  jvm.fake.clear_calls();
  std::string out = capture([&] { EXPECT_EQ(jvm.check_compare(INT_MAX), JNI_FALSE); }).out;
  EXPECT_EQ(jvm.fake.calls(), join({kCheckCompareHead, kCheckCompareBody, kMonitorExitCalls}));
  // 'a' + 'q' is 0xd2, 'a' twice 0xc2.
  std::vector<std::pair<unsigned, unsigned>> pairs{{unit(0xd2, 'b'), unit(0xc2, 'b')}};
  for (unsigned c = 'c'; c < 'q'; c += 2) pairs.emplace_back(unit(c, c + 1), unit(c, c + 1));
  EXPECT_EQ(out, element_lines(pairs));
  EXPECT_EQ(jvm.halts, 0);
  EXPECT_EQ(jvm.monitor_depth, 0);
}

TEST_F(Brantholm, ElementsPastTheEighthCompareWithZero) {
  BrantholmJvm jvm;
  jvm.set_ascii("abc");
  jvm.elements = jvm.check_sum();
  jvm.elements.resize(16, 0);
  jvm.elements[12] = 5;
  std::string out = capture([&] { EXPECT_EQ(jvm.check_compare(INT_MAX), JNI_FALSE); }).out;
  std::vector<std::pair<unsigned, unsigned>> pairs(16, {0, 0});
  pairs[0] = {unit('a', 'b'), unit('a', 'b')};
  pairs[1] = {unit('c', 0), unit('c', 0)};
  pairs[12] = {5, 0};
  EXPECT_EQ(out, element_lines(pairs));
}

TEST_F(Brantholm, RefusedCallTouchesNothingAndFreesItsBuffer) {
  BrantholmJvm jvm;
  jvm.set_ascii("abc");
  jvm.elements.assign(8, 0);
  std::string out = capture([&] { EXPECT_EQ(jvm.check_compare(-1), JNI_FALSE); }).out;
  EXPECT_EQ(out, "");
  EXPECT_EQ(jvm.fake.calls(), join({kCheckCompareHead, kMonitorExitCalls}));
  EXPECT_EQ(trail(), "3@3-7");
}

TEST_F(Brantholm, CallReachingTheLimitHaltsAndSucceedsDespiteAMismatch) {
  BrantholmJvm jvm;
  jvm.set_ascii("abc");
  jvm.elements.assign(8, 1);
  capture([&] { EXPECT_EQ(jvm.check_compare(counted_compares + 1), JNI_TRUE); });
  EXPECT_EQ(jvm.halts, 1);
  EXPECT_EQ(jvm.fake.calls(), join({kCheckCompareHead, kCheckCompareBody, kHaltCalls, kMonitorExitCalls}));
  // The next call still runs in full, without halt, and reports its mismatch.
  capture([&] { EXPECT_EQ(jvm.check_compare(counted_compares), JNI_FALSE); });
  EXPECT_EQ(jvm.halts, 1);
  EXPECT_EQ(jvm.monitor_depth, 0);
}

TEST_F(Brantholm, QuietChecksDescribeAndClearAndGoOn) {
  // The third and sixth checks of CheckSum follow plain memory work.
  for (int check : {3, 6}) {
    BrantholmJvm jvm;
    jvm.set_ascii("abc");
    int checks = 0;
    FAKE_JNI_ON(jvm.fake, ExceptionOccurred, [&]() -> jthrowable {
      if (++checks == check) jvm.fake.raise("java.lang.ThreadDeath");
      return jvm.fake.pending();
    });
    std::vector<jchar> result;
    EXPECT_EQ(capture([&] { result = jvm.check_sum(); }).out, "[described: java.lang.ThreadDeath]\n");
    EXPECT_EQ(result, (std::vector<jchar>{unit('a', 'b'), unit('c', 0), 0, 0, 0, 0, 0, 0})) << "check " << check;
    EXPECT_EQ(jvm.fake.count("ExceptionClear"), 1u);
    EXPECT_EQ(jvm.fake.pending(), nullptr);
  }
}

// Ends like FatalError in the VM, telling whether the exception was cleared.
void fatal_error_reports_pending(BrantholmJvm& jvm) {
  FAKE_JNI_ON(jvm.fake, FatalError, [&jvm](const char* message) {
    fflush(stdout);
    fprintf(stderr, "FatalError: %s (pending: %s)\n", message, jvm.fake.pending() != nullptr ? "yes" : "no");
    fflush(stderr);
    abort();
  });
}

TEST_F(Brantholm, ExceptionAfterAnyCheckedCallEndsTheVm) {
  for (const char* function : {"GetStringUTFLength", "GetArrayLength", "MonitorEnter", "GetStringCritical",
                               "ReleaseStringCritical", "GetPrimitiveArrayCritical", "ReleasePrimitiveArrayCritical",
                               "GetObjectClass", "GetStaticMethodID", "CallStaticVoidMethod", "MonitorExit"}) {
    BrantholmJvm jvm;
    jvm.set_ascii("abc");
    jvm.elements = {unit('a', 'b'), unit('c', 0), 0, 0, 0, 0, 0, 0};
    jvm.raise_in = function;
    fatal_error_reports_pending(jvm);
    const jint limit = counted_compares + 1;  // reach halt
    zoltest::Exit end = zoltest::run_forked([&] { jvm.check_compare(limit); });
    SCOPED_TRACE(function);
    EXPECT_EQ(end.status, zoltest::kAbortStatus);
    const std::string description = std::string(function) == "GetStaticMethodID"
                                        ? "java.lang.NoSuchMethodError: halt"
                                        : std::string("java.lang.Error: in ") + function;
    const std::string tail = "Unexpected JNI exception. TEST FAIL.\n[described: " + description + "]\n";
    ASSERT_GE(end.out.size(), tail.size()) << end.out;
    EXPECT_EQ(end.out.substr(end.out.size() - tail.size()), tail);
    EXPECT_EQ(end.err, "FatalError: Unexpected JNI Exception. TEST FAIL. (pending: no)\n");
  }
  for (const char* function : {"NewCharArray", "SetCharArrayRegion"}) {
    BrantholmJvm jvm;
    jvm.set_ascii("abc");
    jvm.raise_in = function;
    zoltest::Exit end = zoltest::run_forked([&] { jvm.check_sum(); });
    EXPECT_EQ(end.status, zoltest::kAbortStatus) << function;
    EXPECT_EQ(end.out,
              "Unexpected JNI exception. TEST FAIL.\n[described: java.lang.Error: in " + std::string(function) + "]\n");
    EXPECT_EQ(end.err, "FatalError: Unexpected JNI Exception. TEST FAIL.\n");
  }
}

TEST_F(Brantholm, NoMemoryOrNoRegionEndsTheVmWithoutWritingThroughNull) {
  struct Case {
    long failing_malloc;
    bool critical_null;
    const char* message;
  };
  for (const Case& c : {Case{1, false, "brantholm: no memory for the character buffer"},
                        Case{2, false, "brantholm: no memory for the working copy"},
                        Case{0, true, "brantholm: GetStringCritical returned NULL"}}) {
    for (bool compare : {false, true}) {
      BrantholmJvm jvm;
      jvm.set_ascii("abc");
      jvm.elements.assign(8, 0);
      jvm.critical_null = c.critical_null;
      zoltest::Exit end = zoltest::run_forked([&] {
        fail_malloc_number = c.failing_malloc;
        if (compare) {
          jvm.check_compare(INT_MAX);
        } else {
          jvm.check_sum();
        }
      });
      EXPECT_EQ(end.status, zoltest::kAbortStatus);
      EXPECT_EQ(end.err, std::string("FatalError: ") + c.message + "\n");
    }
  }
}

}  // namespace
