// Sandrovik against a scripted JVM: the Java-chosen name goes to DefineClass
// and FindClass unchanged and is released after the call; failures stay
// pending with a null result.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_jni.h"

extern "C" {
jclass Java_Sandrovik_callDefineClass(JNIEnv*, jobject, jstring);
jclass Java_Sandrovik_callFindClass(JNIEnv*, jobject, jstring);
}

namespace {

using zoltest::FakeJni;
using Calls = std::vector<std::string>;

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

}  // namespace
