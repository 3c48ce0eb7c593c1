// Yarbellin's critical entries by direct calls, as a JVM that binds critical
// natives makes them (its JVMs mostly bind only the ordinary ones): the
// verdict over every condition, NaN, infinities and out-of-range values
// included, and only element 0 of the result written.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <vector>

#include "yarbellin_critical.h"

namespace {

const float kNaNf = std::numeric_limits<float>::quiet_NaN();
const float kInff = std::numeric_limits<float>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

// The arguments m1's critical entry expects; a case changes some of them.
struct M1 {
  jbyte b = 10;
  jlong l = 4444444455555555LL;
  jchar c = 65;
  jint i = 12345678;
  jfloat f = 343434.0f;
  jdouble d = 6666666677777777.0;
  std::vector<jbyte> result{-1};

  jbyte call() {
    JavaCritical_compiler_runtime_criticalnatives_lookup_LookUp_m1(b, l, c, i, f, d, jint(result.size()),
                                                                   result.data());
    return result[0];
  }
};

struct M2 {
  jint i = 12345678;
  std::vector<jint> ia{1111, 0, 0};
  jlong l = 4444444455555555LL;
  std::vector<jlong> la{4444, 0, 0};
  jfloat f = 343434.0f;
  std::vector<jfloat> fa{7777.0f, 0, 0};
  jdouble d = 6666666677777777.0;
  std::vector<jdouble> da{4545.0, 0, 0};
  std::vector<jbyte> result{-1};

  jbyte call() {
    JavaCritical_compiler_runtime_criticalnatives_lookup_LookUp_m2(
        i, jint(ia.size()), ia.data(), l, jint(la.size()), la.data(), f, jint(fa.size()), fa.data(), d, jint(da.size()),
        da.data(), jint(result.size()), result.data());
    return result[0];
  }
};

template <typename Args>
struct Case {
  const char* name;
  std::function<void(Args&)> change;
  jbyte verdict;
};

template <typename Args>
void expect_verdicts(const std::vector<Case<Args>>& cases) {
  for (const Case<Args>& c : cases) {
    SCOPED_TRACE(c.name);
    Args args;
    c.change(args);
    const std::vector<jbyte> before = args.result;
    EXPECT_EQ(args.call(), c.verdict);
    // Only element 0 is written.
    for (size_t k = 1; k < before.size(); ++k) EXPECT_EQ(args.result[k], before[k]);
  }
}

TEST(Yarbellin, M1VerdictOverEveryCondition) {
  expect_verdicts<M1>({
      {"all as expected", [](M1&) {}, 2},
      {"float 343434.9 truncates to 343434", [](M1& a) { a.f = 343434.9f; }, 2},
      {"byte 11", [](M1& a) { a.b = 11; }, 1},
      {"long off by one", [](M1& a) { a.l += 1; }, 1},
      {"char 66", [](M1& a) { a.c = 66; }, 1},
      {"int off by one", [](M1& a) { a.i -= 1; }, 1},
      {"float 343433.9", [](M1& a) { a.f = 343433.9f; }, 1},
      {"float 343435", [](M1& a) { a.f = 343435.0f; }, 1},
      {"float -343434", [](M1& a) { a.f = -343434.0f; }, 1},
      {"double off by one", [](M1& a) { a.d -= 1.0; }, 1},
      {"result length 2",
       [](M1& a) {
         a.result = {-1, -1};
       },
       1},
      {"result element 0", [](M1& a) { a.result = {0}; }, 1},
      {"float NaN", [](M1& a) { a.f = kNaNf; }, 1},
      {"float +infinity", [](M1& a) { a.f = kInff; }, 1},
      {"float -infinity", [](M1& a) { a.f = -kInff; }, 1},
      {"float 2^31", [](M1& a) { a.f = 2147483648.0f; }, 1},
      {"float -2^31 - 256", [](M1& a) { a.f = -2147483904.0f; }, 1},
      {"float max", [](M1& a) { a.f = std::numeric_limits<float>::max(); }, 1},
      {"double NaN", [](M1& a) { a.d = kNaN; }, 1},
      {"double -infinity", [](M1& a) { a.d = -kInf; }, 1},
      {"double 2^63", [](M1& a) { a.d = 9223372036854775808.0; }, 1},
      {"double -2^63 - 2048", [](M1& a) { a.d = -9223372036854777856.0; }, 1},
      {"double 1e300", [](M1& a) { a.d = 1e300; }, 1},
  });
}

TEST(Yarbellin, M2VerdictOverEveryCondition) {
  expect_verdicts<M2>({
      {"all as expected", [](M2&) {}, 2},
      {"fractions truncate", [](M2& a) { a.f = 343434.9f, a.fa[0] = 7777.9f, a.da[0] = 4545.99; }, 2},
      {"int off by one", [](M2& a) { a.i += 1; }, 1},
      {"int[] length 2", [](M2& a) { a.ia.pop_back(); }, 1},
      {"int[] length 0", [](M2& a) { a.ia.clear(); }, 1},
      {"int[] element 0", [](M2& a) { a.ia[0] = 1112; }, 1},
      {"long off by one", [](M2& a) { a.l -= 1; }, 1},
      {"long[] length 4", [](M2& a) { a.la.push_back(0); }, 1},
      {"long[] element 0", [](M2& a) { a.la[0] = 4443; }, 1},
      {"float 343433.9", [](M2& a) { a.f = 343433.9f; }, 1},
      {"float NaN", [](M2& a) { a.f = kNaNf; }, 1},
      {"float[] length 2", [](M2& a) { a.fa.pop_back(); }, 1},
      {"float[] element 0 7776.9", [](M2& a) { a.fa[0] = 7776.9f; }, 1},
      {"float[] element 0 -infinity", [](M2& a) { a.fa[0] = -kInff; }, 1},
      {"float[] element 0 3e9", [](M2& a) { a.fa[0] = 3e9f; }, 1},
      {"double off by one", [](M2& a) { a.d += 1.0; }, 1},
      {"double +infinity", [](M2& a) { a.d = kInf; }, 1},
      {"double[] length 2", [](M2& a) { a.da.pop_back(); }, 1},
      {"double[] element 0 4546", [](M2& a) { a.da[0] = 4546.0; }, 1},
      {"double[] element 0 NaN", [](M2& a) { a.da[0] = kNaN; }, 1},
      {"double[] element 0 -1e19", [](M2& a) { a.da[0] = -1e19; }, 1},
      {"result length 2",
       [](M2& a) {
         a.result = {-1, 7};
       },
       1},
      {"result element 0", [](M2& a) { a.result = {2}; }, 1},
  });
}

TEST(Yarbellin, EmptyOrAbsentResultIsNotWritten) {
  jbyte beyond = 77;  // what element 0 would be if the length were ignored
  JavaCritical_compiler_runtime_criticalnatives_lookup_LookUp_m1(10, 4444444455555555LL, 65, 12345678, 343434.0f,
                                                                 6666666677777777.0, 0, &beyond);
  JavaCritical_compiler_runtime_criticalnatives_lookup_LookUp_m1(10, 4444444455555555LL, 65, 12345678, 343434.0f,
                                                                 6666666677777777.0, 0, nullptr);
  M2 a;
  JavaCritical_compiler_runtime_criticalnatives_lookup_LookUp_m2(a.i, 3, a.ia.data(), a.l, 3, a.la.data(), a.f, 3,
                                                                 a.fa.data(), a.d, 3, a.da.data(), 0, &beyond);
  JavaCritical_compiler_runtime_criticalnatives_lookup_LookUp_m2(a.i, 3, a.ia.data(), a.l, 3, a.la.data(), a.f, 3,
                                                                 a.fa.data(), a.d, 3, a.da.data(), 0, nullptr);
  EXPECT_EQ(beyond, 77);
}

}  // namespace
