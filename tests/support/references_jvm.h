// The JVM side of the reference functions, for the natives that keep
// references (Olvedrin, Zandrofel): each reference made is a fresh handle
// (or null, with an exception pending if a test says); a reference in
// `collected` has lost its referent.
#ifndef ZOLTEST_REFERENCES_JVM_H
#define ZOLTEST_REFERENCES_JVM_H

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "fake_jni.h"

namespace zoltest {

struct ReferencesJvm {
  FakeJni fake;
  jobject receiver = fake.handle();
  jobject object = fake.handle();
  bool refs_fail = false;
  std::string raise_with_null;  // a description: the failing call leaves it pending
  std::set<jobject> collected;
  std::vector<jobject> made;
  std::vector<jobject> deleted;

  jobject make_ref() {
    if (!refs_fail) return made.emplace_back(fake.handle());
    if (!raise_with_null.empty()) fake.raise(raise_with_null);
    return nullptr;
  }

  ReferencesJvm() {
    FAKE_JNI_ON(fake, NewGlobalRef, [this](jobject o) -> jobject {
      EXPECT_EQ(o, object);
      return make_ref();
    });
    FAKE_JNI_ON(fake, NewWeakGlobalRef, [this](jobject o) -> jweak {
      EXPECT_EQ(o, object);
      return make_ref();
    });
    FAKE_JNI_ON(fake, NewLocalRef, [this](jobject o) -> jobject {
      EXPECT_EQ(o, object);
      return make_ref();
    });
    FAKE_JNI_ON(fake, DeleteGlobalRef, [this](jobject ref) { deleted.push_back(ref); });
    FAKE_JNI_ON(fake, DeleteWeakGlobalRef, [this](jweak ref) { deleted.push_back(ref); });
    FAKE_JNI_ON(fake, IsSameObject, [this](jobject a, jobject b) -> jboolean {
      EXPECT_EQ(b, nullptr);
      return collected.count(a) != 0 ? JNI_TRUE : JNI_FALSE;
    });
    FAKE_JNI_ON(fake, FindClass, [this](const char* name) { return fake.klass(name); });
  }

  // What is pending, cleared as the Java caller would catch it; "" if none.
  std::string caught() {
    std::string what = fake.pending() != nullptr ? fake.description(fake.pending()) : "";
    fake.env()->ExceptionClear();
    fake.clear_calls();
    return what;
  }
};

}  // namespace zoltest

#endif  // ZOLTEST_REFERENCES_JVM_H
