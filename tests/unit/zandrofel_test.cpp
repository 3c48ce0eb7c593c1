// Zandrofel against a scripted JVM: the saved global and weak global
// references read back without JNI calls, a failed make saved too, nothing
// deleted. The saved references are the library image's, so the case runs
// in a child that starts with them as a freshly loaded library has them.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture.h"
#include "references_jvm.h"

extern "C" {
jobject Java_Zandrofel_makeGlobalRef(JNIEnv*, jclass, jobject);
jobject Java_Zandrofel_makeWeakGlobalRef(JNIEnv*, jclass, jobject);
jobject Java_Zandrofel_readGlobalRef(JNIEnv*, jclass);
jobject Java_Zandrofel_readWeakGlobalRef(JNIEnv*, jclass);
}

namespace {

using zoltest::in_child;
using Calls = std::vector<std::string>;

TEST(Refs, SavedReferencesAreNullUntilMadeAndReadBackWithoutJniCalls) {
  in_child([] {
    zoltest::ReferencesJvm jvm;
    EXPECT_EQ(Java_Zandrofel_readGlobalRef(jvm.fake.env(), nullptr), nullptr);
    EXPECT_EQ(Java_Zandrofel_readWeakGlobalRef(jvm.fake.env(), nullptr), nullptr);
    EXPECT_EQ(jvm.fake.calls(), Calls{});

    const jobject global = Java_Zandrofel_makeGlobalRef(jvm.fake.env(), nullptr, jvm.object);
    const jobject weak = Java_Zandrofel_makeWeakGlobalRef(jvm.fake.env(), nullptr, jvm.object);
    EXPECT_EQ(jvm.made, (std::vector<jobject>{global, weak}));
    EXPECT_EQ(jvm.fake.calls(), (Calls{"NewGlobalRef", "NewWeakGlobalRef"}));
    jvm.fake.clear_calls();
    EXPECT_EQ(Java_Zandrofel_readGlobalRef(jvm.fake.env(), nullptr), global);
    EXPECT_EQ(Java_Zandrofel_readWeakGlobalRef(jvm.fake.env(), nullptr), weak);
    EXPECT_EQ(jvm.fake.calls(), Calls{});

    // A failed make is saved too, and nothing is ever deleted.
    jvm.refs_fail = true;
    EXPECT_EQ(Java_Zandrofel_makeGlobalRef(jvm.fake.env(), nullptr, jvm.object), nullptr);
    EXPECT_EQ(Java_Zandrofel_readGlobalRef(jvm.fake.env(), nullptr), nullptr);
    EXPECT_EQ(Java_Zandrofel_readWeakGlobalRef(jvm.fake.env(), nullptr), weak);
    EXPECT_TRUE(jvm.deleted.empty());
  });
}

}  // namespace
