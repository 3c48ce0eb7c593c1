// The critical entries of LookUp over arbitrary argument values, against a
// model that compares in double precision (no conversion that could be
// undefined): each argument is either its expected value or a fuzzed one.

#include <jni.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "yarbellin_critical.h"

namespace {

// Reads the next value from the input; past its end, zero bytes.
struct Input {
  const uint8_t* data;
  size_t size;
  template <typename T>
  T next() {
    T value{};
    const size_t n = size < sizeof(T) ? size : sizeof(T);
    memcpy(&value, data, n);
    data += n;
    size -= n;
    return value;
  }
};

bool truncates_to(double v, double expected) { return std::isfinite(v) && std::trunc(v) == expected; }

}  // namespace

// Input: a 32-bit mask choosing which arguments are fuzzed, then the fuzzed
// values in argument order.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in{data, size};
  const uint32_t mask = in.next<uint32_t>();
  auto pick = [&](int bit, auto expected) {
    auto fuzzed = in.next<decltype(expected)>();
    return (mask >> bit) & 1 ? fuzzed : expected;
  };

  // m1
  const jbyte b = pick(0, jbyte{10});
  const jlong l = pick(1, jlong{4444444455555555LL});
  const jchar c = pick(2, jchar{65});
  const jint i = pick(3, jint{12345678});
  const jfloat f = pick(4, jfloat{343434.5f});
  const jdouble d = pick(5, jdouble{6666666677777777.0});
  const jint result_length = (mask >> 6) & 1 ? in.next<uint8_t>() % 3 : 1;
  const jbyte initial = pick(7, jbyte{-1});
  jbyte result[2] = {initial, 77};
  JavaCritical_compiler_runtime_criticalnatives_lookup_LookUp_m1(b, l, c, i, f, d, result_length, result);
  const bool m1 = b == 10 && l == 4444444455555555LL && c == 65 && i == 12345678 && truncates_to(f, 343434) &&
                  truncates_to(d, 6666666677777777.0) && result_length == 1 && initial == -1;
  if (result_length > 0 ? result[0] != (m1 ? 2 : 1) : result[0] != initial) abort();
  if (result[1] != 77) abort();

  // m2
  jint ia[3] = {pick(8, jint{1111}), 0, 0};
  jlong la[3] = {pick(9, jlong{4444}), 0, 0};
  jfloat fa[3] = {pick(10, jfloat{7777.25f}), 0, 0};
  jdouble da[3] = {pick(11, jdouble{4545.75}), 0, 0};
  const jint lengths = (mask >> 12) & 1 ? in.next<uint8_t>() % 5 : 3;
  const jint i2 = pick(13, jint{12345678});
  const jlong l2 = pick(14, jlong{4444444455555555LL});
  const jfloat f2 = pick(15, jfloat{343434.0f});
  const jdouble d2 = pick(16, jdouble{6666666677777777.0});
  jbyte result2[1] = {-1};
  const jint length = lengths > 3 ? 3 : lengths;
  JavaCritical_compiler_runtime_criticalnatives_lookup_LookUp_m2(i2, length, ia, l2, 3, la, f2, 3, fa, d2, 3, da, 1,
                                                                 result2);
  const bool m2 = i2 == 12345678 && length == 3 && ia[0] == 1111 && l2 == 4444444455555555LL && la[0] == 4444 &&
                  truncates_to(f2, 343434) && truncates_to(fa[0], 7777) && truncates_to(d2, 6666666677777777.0) &&
                  truncates_to(da[0], 4545);
  if (result2[0] != (m2 ? 2 : 1)) abort();
  return 0;
}
