// The runtime-behaviour natives against a scripted JVM (Rostavel, Sandrovik,
// Vendroskel) and by direct calls of the critical entries (Yarbellin), whose
// JVMs mostly bind only the ordinary ones.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "capture.h"
#include "fake_jni.h"

#include "lookup_critical.h"

extern "C" {
void Java_Rostavel_lengthTest(JNIEnv*, jobject);
void Java_Rostavel_charsTest(JNIEnv*, jobject);
void Java_Rostavel_utfLengthTest(JNIEnv*, jobject);
void Java_Rostavel_utfCharsTest(JNIEnv*, jobject);
jclass Java_Sandrovik_callDefineClass(JNIEnv*, jobject, jstring);
jclass Java_Sandrovik_callFindClass(JNIEnv*, jobject, jstring);
void Java_TestVendroskel_testVendroskel(JNIEnv*, jobject);
}

namespace {

using zoltest::FakeJni;
using Calls = std::vector<std::string>;

// ---- Rostavel

// A JVM whose uninitialized String answers as the fields say. FatalError is
// recorded and returns, so that a test sees that nothing follows it.
struct StringJvm {
  FakeJni fake;
  jclass string_class = fake.klass("java/lang/String");
  jstring str = fake.handle<jstring>();
  bool find_fails = false;
  bool alloc_fails = false;
  jsize length = 0;
  const jchar* chars = nullptr;
  const char* utf = nullptr;
  std::vector<std::string> fatal;

  StringJvm() {
    FAKE_JNI_ON(fake, FindClass, [this](const char* name) -> jclass {
      EXPECT_STREQ(name, "java/lang/String");
      return find_fails ? nullptr : string_class;
    });
    FAKE_JNI_ON(fake, AllocObject, [this](jclass cls) -> jobject {
      EXPECT_EQ(cls, string_class);
      return alloc_fails ? nullptr : str;
    });
    FAKE_JNI_ON(fake, GetStringLength, [this](jstring s) {
      EXPECT_EQ(s, str);
      return length;
    });
    FAKE_JNI_ON(fake, GetStringUTFLength, [this](jstring s) {
      EXPECT_EQ(s, str);
      return length;
    });
    FAKE_JNI_ON(fake, GetStringChars, [this](jstring s, jboolean* is_copy) {
      EXPECT_EQ(s, str);
      EXPECT_EQ(is_copy, nullptr);
      return chars;
    });
    FAKE_JNI_ON(fake, ReleaseStringChars, [this](jstring s, const jchar* p) {
      EXPECT_EQ(s, str);
      EXPECT_EQ(p, chars);
    });
    FAKE_JNI_ON(fake, GetStringUTFChars, [this](jstring s, jboolean* is_copy) {
      EXPECT_EQ(s, str);
      EXPECT_EQ(is_copy, nullptr);
      return utf;
    });
    FAKE_JNI_ON(fake, ReleaseStringUTFChars, [this](jstring s, const char* p) {
      EXPECT_EQ(s, str);
      EXPECT_EQ(p, utf);
    });
    FAKE_JNI_ON(fake, FatalError, [this](const char* msg) { fatal.push_back(msg); });
  }
};

struct StringTest {
  const char* name;
  void (*native)(JNIEnv*, jobject);
  const char* get;      // the string function under test
  const char* release;  // its release function, if any
  const char* message;  // the FatalError text when the answer is wrong
};

const StringTest kStringTests[] = {
    {"lengthTest", Java_Rostavel_lengthTest, "GetStringLength", nullptr, "string length must be 0"},
    {"charsTest", Java_Rostavel_charsTest, "GetStringChars", "ReleaseStringChars", "string chars must be NULL"},
    {"utfLengthTest", Java_Rostavel_utfLengthTest, "GetStringUTFLength", nullptr, "string utf length must be 0"},
    {"utfCharsTest", Java_Rostavel_utfCharsTest, "GetStringUTFChars", "ReleaseStringUTFChars",
     "string utf chars must be NULL"},
};

Calls string_calls(const StringTest& t, bool fatal) {
  Calls calls{"FindClass", "AllocObject", t.get};
  if (t.release != nullptr) calls.push_back(t.release);
  if (fatal) calls.push_back("FatalError");
  return calls;
}

TEST(Rostavel, EmptyAnswersPassSilentlyAndNullBuffersAreStillReleased) {
  for (const StringTest& t : kStringTests) {
    SCOPED_TRACE(t.name);
    StringJvm jvm;
    const zoltest::Output output = zoltest::capture([&] { t.native(jvm.fake.env(), jvm.fake.handle()); });
    EXPECT_EQ(output.out, "");
    EXPECT_EQ(output.err, "");
    EXPECT_TRUE(jvm.fatal.empty());
    EXPECT_EQ(jvm.fake.calls(), string_calls(t, false));
  }
}

TEST(Rostavel, WrongAnswersEndThroughFatalErrorAfterTheRelease) {
  const jchar chars[] = {'x'};
  for (const StringTest& t : kStringTests) {
    SCOPED_TRACE(t.name);
    StringJvm jvm;
    jvm.length = 1;
    jvm.chars = chars;
    jvm.utf = "x";
    t.native(jvm.fake.env(), jvm.fake.handle());
    EXPECT_EQ(jvm.fatal, Calls{t.message});
    EXPECT_EQ(jvm.fake.calls(), string_calls(t, true));
  }
}

TEST(Rostavel, FailedLookupOrAllocationEndsBeforeAnyStringFunction) {
  for (const StringTest& t : kStringTests) {
    SCOPED_TRACE(t.name);
    StringJvm no_class;
    no_class.find_fails = true;
    t.native(no_class.fake.env(), no_class.fake.handle());
    EXPECT_EQ(no_class.fatal, Calls{"class String not found"});
    EXPECT_EQ(no_class.fake.calls(), (Calls{"FindClass", "FatalError"}));

    StringJvm no_object;
    no_object.alloc_fails = true;
    t.native(no_object.fake.env(), no_object.fake.handle());
    EXPECT_EQ(no_object.fatal, Calls{"allocated string is NULL"});
    EXPECT_EQ(no_object.fake.calls(), (Calls{"FindClass", "AllocObject", "FatalError"}));
  }
}

TEST(Rostavel, FatalErrorEndsTheProcessWithItsMessage) {
  const zoltest::Exit exit = zoltest::run_forked([] {
    FakeJni fake;
    FAKE_JNI_ON(fake, FindClass, [](const char*) -> jclass { return nullptr; });
    Java_Rostavel_charsTest(fake.env(), fake.handle());
  });
  EXPECT_EQ(exit.status, 134);
  EXPECT_EQ(exit.out, "");
  EXPECT_EQ(exit.err, "FatalError: class String not found\n");
}

// ---- Sandrovik

// Records the name each class function received; the converted text is a
// buffer of the test's own, so the pointer shows that it went on unchanged.
struct ClassJvm {
  FakeJni fake;
  jstring name = fake.handle<jstring>();
  const char* utf = "a.b/C";
  bool conversion_fails = false;
  jclass result = fake.klass("a.b/C");
  std::vector<const char*> names;

  ClassJvm() {
    FAKE_JNI_ON(fake, GetStringUTFChars, [this](jstring s, jboolean* is_copy) -> const char* {
      EXPECT_EQ(s, name);
      EXPECT_EQ(is_copy, nullptr);
      if (!conversion_fails) return utf;
      fake.raise("java.lang.OutOfMemoryError");
      return nullptr;
    });
    FAKE_JNI_ON(fake, ReleaseStringUTFChars, [this](jstring s, const char* p) {
      EXPECT_EQ(s, name);
      EXPECT_EQ(p, utf);
    });
    FAKE_JNI_ON(fake, DefineClass, [this](const char* n, jobject loader, const jbyte* buf, jsize len) {
      EXPECT_EQ(loader, nullptr);
      EXPECT_EQ(buf, nullptr);
      EXPECT_EQ(len, 0);
      names.push_back(n);
      return result;
    });
    FAKE_JNI_ON(fake, FindClass, [this](const char* n) {
      names.push_back(n);
      return result;
    });
  }
};

struct ClassNative {
  const char* function;
  jclass (*native)(JNIEnv*, jobject, jstring);
};

const ClassNative kClassNatives[] = {{"DefineClass", Java_Sandrovik_callDefineClass},
                                     {"FindClass", Java_Sandrovik_callFindClass}};

TEST(Sandrovik, NameGoesThroughUnchangedAndIsReleasedAfterTheCall) {
  for (const ClassNative& n : kClassNatives) {
    SCOPED_TRACE(n.function);
    ClassJvm jvm;
    EXPECT_EQ(n.native(jvm.fake.env(), jvm.fake.handle(), jvm.name), jvm.result);
    EXPECT_EQ(jvm.names, std::vector<const char*>{jvm.utf});
    EXPECT_EQ(jvm.fake.calls(), (Calls{"GetStringUTFChars", n.function, "ReleaseStringUTFChars"}));
  }
}

TEST(Sandrovik, FailureIsLeftPendingWithTheNullResultAndTheTextStillReleased) {
  for (const ClassNative& n : kClassNatives) {
    SCOPED_TRACE(n.function);
    ClassJvm jvm;
    FAKE_JNI_ON(jvm.fake, DefineClass, [&](const char*, jobject, const jbyte*, jsize) -> jclass {
      jvm.fake.raise("java.lang.ClassFormatError: Truncated class file");
      return nullptr;
    });
    FAKE_JNI_ON(jvm.fake, FindClass, [&](const char*) -> jclass {
      jvm.fake.raise("java.lang.NoClassDefFoundError: a.b/C");
      return nullptr;
    });
    EXPECT_EQ(n.native(jvm.fake.env(), jvm.fake.handle(), jvm.name), nullptr);
    EXPECT_NE(jvm.fake.pending(), nullptr);
    EXPECT_EQ(jvm.fake.calls(), (Calls{"GetStringUTFChars", n.function, "ReleaseStringUTFChars"}));
  }
}

TEST(Sandrovik, NullNameGoesOnAsNull) {
  for (const ClassNative& n : kClassNatives) {
    SCOPED_TRACE(n.function);
    ClassJvm jvm;
    EXPECT_EQ(n.native(jvm.fake.env(), jvm.fake.handle(), nullptr), jvm.result);
    EXPECT_EQ(jvm.names, std::vector<const char*>{nullptr});
    EXPECT_EQ(jvm.fake.calls(), Calls{n.function});
  }
}

TEST(Sandrovik, FailedConversionReturnsNullWithoutCallingTheJvmFurther) {
  for (const ClassNative& n : kClassNatives) {
    SCOPED_TRACE(n.function);
    ClassJvm jvm;
    jvm.conversion_fails = true;
    EXPECT_EQ(n.native(jvm.fake.env(), jvm.fake.handle(), jvm.name), nullptr);
    EXPECT_EQ(jvm.fake.description(jvm.fake.pending()), "java.lang.OutOfMemoryError");
    EXPECT_EQ(jvm.fake.calls(), Calls{"GetStringUTFChars"});
  }
}

// ---- Vendroskel

TEST(Vendroskel, EnteringTheTrapPrintsOneLineAndExitsWithOne) {
  // No JNI function may be called: the fake's every slot traps.
  const zoltest::Exit exit = zoltest::run_forked([] {
    FakeJni fake;
    Java_TestVendroskel_testVendroskel(fake.env(), fake.handle());
  });
  EXPECT_EQ(exit.status, 1);
  EXPECT_EQ(exit.out, "should not reach here\n");
  EXPECT_EQ(exit.err, "");
}

// ---- Yarbellin

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
