// CheckSum and CheckCompare over arbitrary UTF-16 contents, UTF lengths and
// sum arrays, through the fake JNI table, against a model of the digest:
// bytes past the string's units count as zero, units of sum past the eighth
// are compared with zero. The fake hands out exact-size blocks, so the
// sanitizers catch any read past what the JVM provides.

#include <jni.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "fake_jni.h"

extern "C" {
jcharArray Java_zol_stress_jni_JNIter004_CheckSum(JNIEnv* env, jobject self, jstring str);
jboolean Java_zol_stress_jni_JNIter004_CheckCompare(JNIEnv* env, jobject self, jstring str, jcharArray sum, jint limit);
}

namespace {

// The digest CheckSum (add byte i) or CheckCompare (add byte i mod 16) makes.
std::vector<jchar> model(const std::vector<jchar>& units, jsize utf_length, bool compare) {
  std::vector<uint8_t> buffer(static_cast<size_t>(utf_length), 0);
  for (size_t i = 0; i < buffer.size() && i < units.size(); ++i) buffer[i] = static_cast<uint8_t>(units[i]);
  uint8_t digest[16] = {};
  for (size_t i = 0; i < buffer.size(); ++i) digest[i % 16] += buffer[compare ? i % 16 : i];
  // The digest's bytes read as units in the machine's order.
  std::vector<jchar> out(8);
  memcpy(out.data(), digest, sizeof digest);
  return out;
}

struct Jvm {
  zoltest::FakeJni fake;
  std::vector<jchar> units;
  jsize utf_length = 0;
  std::vector<jchar> sum;
  std::vector<jchar> made;
  std::unique_ptr<jchar[]> region;

  Jvm() {
    FAKE_JNI_ON(fake, GetStringUTFLength, [this](jstring) { return utf_length; });
    FAKE_JNI_ON(fake, GetStringLength, [this](jstring) { return static_cast<jsize>(units.size()); });
    FAKE_JNI_ON(fake, MonitorEnter, [](jobject) -> jint { return 0; });
    FAKE_JNI_ON(fake, MonitorExit, [](jobject) -> jint { return 0; });
    FAKE_JNI_ON(fake, GetStringCritical, [this](jstring, jboolean*) -> const jchar* {
      region.reset(new jchar[units.size() + (units.empty() ? 1 : 0)]);
      std::copy(units.begin(), units.end(), region.get());
      return region.get();
    });
    FAKE_JNI_ON(fake, ReleaseStringCritical, [this](jstring, const jchar*) { region.reset(); });
    FAKE_JNI_ON(fake, NewCharArray, [this](jsize) { return fake.handle<jcharArray>(); });
    FAKE_JNI_ON(fake, GetArrayLength, [this](jarray array) -> jsize {
      return fake.class_name(array) == "sum" ? static_cast<jsize>(sum.size()) : 8;
    });
    FAKE_JNI_ON(fake, SetCharArrayRegion, [this](jcharArray, jsize start, jsize length, const jchar* buf) {
      if (start != 0 || length != 8) abort();
      made.assign(buf, buf + length);
    });
    FAKE_JNI_ON(fake, GetPrimitiveArrayCritical, [this](jarray, jboolean*) -> void* {
      region.reset(new jchar[sum.size() + (sum.empty() ? 1 : 0)]);
      std::copy(sum.begin(), sum.end(), region.get());
      return region.get();
    });
    FAKE_JNI_ON(fake, ReleasePrimitiveArrayCritical, [this](jarray, void*, jint) { region.reset(); });
  }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // CheckCompare prints every element; the model is the check here.
  if (freopen("/dev/null", "w", stdout) == nullptr) abort();
  return 0;
}

// Input: a UTF length slack byte, a sum length byte (0..16), the sum units,
// then the string's UTF-16 units.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  Jvm jvm;
  const size_t sum_length = data[1] % 17;
  size_t at = 2;
  for (size_t k = 0; k < sum_length && at + 1 < size; ++k, at += 2) {
    jvm.sum.push_back(static_cast<jchar>(data[at] | (data[at + 1] << 8)));
  }
  for (; at + 1 < size; at += 2) jvm.units.push_back(static_cast<jchar>(data[at] | (data[at + 1] << 8)));
  // A UTF length from the unit count up to three bytes a unit, as the JVM gives.
  jvm.utf_length = static_cast<jsize>(jvm.units.size() + (data[0] % 3) * jvm.units.size() / 2);

  jobject self = jvm.fake.handle();
  jstring str = jvm.fake.handle<jstring>();
  Java_zol_stress_jni_JNIter004_CheckSum(jvm.fake.env(), self, str);
  if (jvm.made != model(jvm.units, jvm.utf_length, false)) abort();

  jcharArray sum = static_cast<jcharArray>(static_cast<jobject>(jvm.fake.klass("sum")));
  const jboolean same = Java_zol_stress_jni_JNIter004_CheckCompare(jvm.fake.env(), self, str, sum, INT32_MAX);
  std::vector<jchar> expected = model(jvm.units, jvm.utf_length, true);
  expected.resize(16, 0);
  bool all = true;
  for (size_t j = 0; j < jvm.sum.size(); ++j) all = all && jvm.sum[j] == expected[j];
  if ((same == JNI_TRUE) != all) abort();
  if (jvm.fake.pending() != nullptr) abort();
  return 0;
}
