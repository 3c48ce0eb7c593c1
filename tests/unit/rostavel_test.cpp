// Rostavel against a scripted JVM whose uninitialized String answers as a
// test says: each string function's empty answer passes, a wrong one ends
// through FatalError after the release, and a failed lookup or allocation
// ends before any string function.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture.h"
#include "fake_jni.h"

extern "C" {
void Java_Rostavel_lengthTest(JNIEnv*, jobject);
void Java_Rostavel_charsTest(JNIEnv*, jobject);
void Java_Rostavel_utfLengthTest(JNIEnv*, jobject);
void Java_Rostavel_utfCharsTest(JNIEnv*, jobject);
}

namespace {

using zoltest::FakeJni;
using Calls = std::vector<std::string>;

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
  EXPECT_EQ(exit.status, zoltest::kAbortStatus);
  EXPECT_EQ(exit.out, "");
  EXPECT_EQ(exit.err, "FatalError: class String not found\n");
}

}  // namespace
