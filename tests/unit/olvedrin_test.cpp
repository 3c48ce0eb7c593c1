// Olvedrin against a scripted JVM: the registries' allocation,
// slots and bounds, the pinned lines and texts of every complaint, the
// exceptions thrown, and which JNI calls follow a throw.
//
// The registries are process-wide, so every case runs in a forked child of a
// parent that never calls the natives itself: each child starts with the
// tables as a freshly loaded library has them.

#include <gtest/gtest.h>

#include <unistd.h>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "capture.h"
#include "fake_jni.h"
#include "references_jvm.h"
#include "support_state.h"

extern "C" {
jint Java_zol_share_ReferringObject_createJNIGlobalReferenceNative(JNIEnv*, jobject, jobject, jint);
jint Java_zol_share_ReferringObject_createJNIWeakReferenceNative(JNIEnv*, jobject, jobject, jint);
void Java_zol_share_ReferringObject_deleteJNIGlobalReferenceNative(JNIEnv*, jobject, jint);
void Java_zol_share_ReferringObject_deleteJNIWeakReferenceNative(JNIEnv*, jobject, jint);
void Java_zol_share_ReferringObject_createJNILocalReferenceNative(JNIEnv*, jobject, jobject, jobject, jobject);

void* __real_malloc(size_t size);

// Fails the next malloc of the code under test when set; records the sizes asked.
bool fail_next_malloc = false;
std::vector<size_t>* malloc_sizes = nullptr;

void* __wrap_malloc(size_t size) {
  if (malloc_sizes != nullptr) malloc_sizes->push_back(size);
  if (fail_next_malloc) {
    fail_next_malloc = false;
    return nullptr;
  }
  return __real_malloc(size);
}
}

namespace {

using zoltest::in_child;

const char kBase[] = "Olvedrin.cpp";
const char kGlobalBug[] =
    "zol/share/TestBug: Requested globalReferences[] element is NULL, possible wrong index is passed";
const char kWeakBug[] = "zol/share/TestBug: Requested weakReferences[] element is NULL, possible wrong index is passed";

std::string complaint(int line, const std::string& message) {
  return "# ERROR: " + std::string(kBase) + ", " + std::to_string(line) + ": " + message;
}

std::string wrong_global(jint index) {
  return complaint(92, "globalReferences[" + std::to_string(index) + "] = NULL, possible wrong index is passed\n");
}

std::string wrong_weak(jint index) {
  return complaint(192, "weakReferences[" + std::to_string(index) + "] = NULL, possible wrong index is passed\n");
}

// The registries' natives on the reference functions' JVM.
struct RefsJvm : zoltest::ReferencesJvm {
  jint create_global(jint count = 5) {
    return Java_zol_share_ReferringObject_createJNIGlobalReferenceNative(fake.env(), receiver, object, count);
  }
  jint create_weak(jint count = 5) {
    return Java_zol_share_ReferringObject_createJNIWeakReferenceNative(fake.env(), receiver, object, count);
  }
  void delete_global(jint index) {
    Java_zol_share_ReferringObject_deleteJNIGlobalReferenceNative(fake.env(), receiver, index);
  }
  void delete_weak(jint index) {
    Java_zol_share_ReferringObject_deleteJNIWeakReferenceNative(fake.env(), receiver, index);
  }
};

class Refs : public zoltest::FreshSupportState {};

using Calls = std::vector<std::string>;

TEST_F(Refs, FailedAllocationComplainsGivesMinusOneAndIsRetried) {
  const std::string out = in_child([] {
    RefsJvm jvm;
    std::vector<size_t> sizes;
    malloc_sizes = &sizes;
    fail_next_malloc = true;
    EXPECT_EQ(jvm.create_global(), -1);
    EXPECT_EQ(jvm.caught(), "");
    EXPECT_EQ(jvm.fake.calls(), Calls{});
    // Still absent: a delete reads no table.
    jvm.delete_global(0);
    EXPECT_EQ(jvm.caught(), kGlobalBug);
    EXPECT_EQ(jvm.create_global(), 0);
    EXPECT_EQ(jvm.create_global(), 1);

    fail_next_malloc = true;
    EXPECT_EQ(jvm.create_weak(3), -1);
    EXPECT_EQ(jvm.caught(), "");
    EXPECT_EQ(jvm.create_weak(3), 0);
    malloc_sizes = nullptr;
    // One attempt per failed or first call; none once a table exists.
    // A slot holds a JNI reference, a pointer.
    const size_t slot = sizeof(jobject);  // NOLINT(bugprone-sizeof-expression)
    EXPECT_EQ(sizes, (std::vector<size_t>{5 * slot, 5 * slot, 3 * slot, 3 * slot}));
    EXPECT_EQ(jvm.deleted, std::vector<jobject>{nullptr});
  });
  EXPECT_EQ(out, zoltest::first_complaint(kBase, 46, "malloc return NULL\n", "malloc return NULL\n") + wrong_global(0) +
                     complaint(145, "malloc return NULL\n"));
}

TEST_F(Refs, NegativeCountIsAFailedAllocationWithoutMalloc) {
  const std::string out = in_child([] {
    zol_testing_set_complaint_count(1);
    RefsJvm jvm;
    std::vector<size_t> sizes;
    malloc_sizes = &sizes;
    EXPECT_EQ(jvm.create_global(-1), -1);
    EXPECT_EQ(jvm.create_weak(INT_MIN), -1);
    malloc_sizes = nullptr;
    EXPECT_TRUE(sizes.empty());
    EXPECT_EQ(jvm.caught(), "");
  });
  EXPECT_EQ(out, complaint(46, "malloc return NULL\n") + complaint(145, "malloc return NULL\n"));
}

TEST_F(Refs, SlotsAreTakenLowestFirstAndOnlyInsideTheTable) {
  const std::string out = in_child([] {
    RefsJvm jvm;
    for (jint i = 0; i < 5; i++) EXPECT_EQ(jvm.create_global(), i);
    EXPECT_EQ(jvm.create_global(), -1);
    // A larger count than the first call's searches no further than the table.
    EXPECT_EQ(jvm.create_global(1000), -1);
    jvm.delete_global(3);
    jvm.delete_global(1);
    EXPECT_EQ(jvm.caught(), "");
    // A smaller count searches below it only.
    EXPECT_EQ(jvm.create_global(1), -1);
    EXPECT_EQ(jvm.create_global(), 1);
    EXPECT_EQ(jvm.create_global(1000), 3);
    EXPECT_EQ(jvm.fake.count("NewGlobalRef"), 2u);
    // The weak table is a registry of its own.
    EXPECT_EQ(jvm.create_weak(2), 0);
    EXPECT_EQ(jvm.create_weak(2), 1);
    EXPECT_EQ(jvm.create_weak(2), -1);
  });
  EXPECT_EQ(out, "");
}

TEST_F(Refs, ANullReferenceLeavesItsSlotFreeAndThrowsAJniError) {
  const std::string out = in_child([] {
    RefsJvm jvm;
    jvm.refs_fail = true;
    EXPECT_EQ(jvm.create_global(), 0);
    EXPECT_EQ(jvm.fake.calls(), (Calls{"NewGlobalRef", "ExceptionCheck", "FindClass", "ThrowNew"}));
    EXPECT_EQ(jvm.caught(), "zol/share/TestJNIError: NewGlobalRef return NULL");
    EXPECT_EQ(jvm.create_weak(), 0);
    EXPECT_EQ(jvm.caught(), "zol/share/TestJNIError: NewWeakGlobalRef return NULL");
    jvm.refs_fail = false;
    EXPECT_EQ(jvm.create_global(), 0);
    EXPECT_EQ(jvm.create_weak(), 0);
    EXPECT_EQ(jvm.caught(), "");
  });
  EXPECT_EQ(out, zoltest::first_complaint(kBase, 66, "NewGlobalRef return NULL\n", "NewGlobalRef return NULL\n") +
                     complaint(166, "NewWeakGlobalRef return NULL\n"));
}

TEST_F(Refs, AnExceptionAlreadyPendingIsNotThrownOver) {
  const std::string out = in_child([] {
    zol_testing_set_complaint_count(1);
    RefsJvm jvm;
    jvm.refs_fail = true;
    jvm.raise_with_null = "java.lang.OutOfMemoryError";
    EXPECT_EQ(jvm.create_global(), 0);
    EXPECT_EQ(jvm.fake.calls(), (Calls{"NewGlobalRef", "ExceptionCheck"}));
    EXPECT_EQ(jvm.caught(), "java.lang.OutOfMemoryError");
    Java_zol_share_ReferringObject_createJNILocalReferenceNative(jvm.fake.env(), jvm.receiver, jvm.object, jvm.receiver,
                                                                 jvm.receiver);
    EXPECT_EQ(jvm.fake.calls(), (Calls{"NewLocalRef", "ExceptionCheck"}));
    EXPECT_EQ(jvm.caught(), "java.lang.OutOfMemoryError");
  });
  EXPECT_EQ(out, complaint(66, "NewGlobalRef return NULL\n") + complaint(114, "NewLocalRef return NULL\n"));
}

TEST_F(Refs, AnUnfindableExceptionClassLeavesItsNoClassDefFoundError) {
  const std::string out = in_child([] {
    zol_testing_set_complaint_count(1);
    RefsJvm jvm;
    FAKE_JNI_ON(jvm.fake, FindClass, [&](const char* name) -> jclass {
      jvm.fake.raise(std::string("java.lang.NoClassDefFoundError: ") + name);
      return nullptr;
    });
    jvm.delete_weak(2);
    EXPECT_EQ(jvm.fake.calls(), (Calls{"ExceptionCheck", "FindClass"}));
    EXPECT_EQ(jvm.caught(), "java.lang.NoClassDefFoundError: zol/share/TestBug");
  });
  EXPECT_EQ(out, wrong_weak(2));
}

TEST_F(Refs, WrongIndicesReadNothingOutsideTheTableAndDeleteNothing) {
  const std::string out = in_child([] {
    zol_testing_set_complaint_count(1);
    RefsJvm jvm;
    const jint wrong[] = {0, 4, 5, -1, INT_MAX, INT_MIN};
    // Before any create call, then past the table of five, then free slots.
    for (jint index : wrong) {
      jvm.delete_global(index);
      EXPECT_EQ(jvm.caught(), kGlobalBug) << index;
      jvm.delete_weak(index);
      EXPECT_EQ(jvm.caught(), kWeakBug) << index;
    }
    EXPECT_EQ(jvm.create_global(), 0);
    EXPECT_EQ(jvm.create_weak(), 0);
    jvm.caught();
    for (jint index : {5, -1, INT_MAX, INT_MIN, 4}) {
      jvm.delete_global(index);
      // The global delete still deletes, null, after its throw.
      EXPECT_EQ(jvm.fake.calls(), (Calls{"ExceptionCheck", "FindClass", "ThrowNew", "DeleteGlobalRef"})) << index;
      EXPECT_EQ(jvm.caught(), kGlobalBug) << index;
      jvm.delete_weak(index);
      // One complaint and one throw, then nothing more.
      EXPECT_EQ(jvm.fake.calls(), (Calls{"ExceptionCheck", "FindClass", "ThrowNew"})) << index;
      EXPECT_EQ(jvm.caught(), kWeakBug) << index;
    }
    EXPECT_EQ(jvm.deleted, std::vector<jobject>(11, nullptr));
  });
  std::string expected;
  for (jint index : {0, 4, 5, -1, INT_MAX, INT_MIN}) expected += wrong_global(index) + wrong_weak(index);
  for (jint index : {5, -1, INT_MAX, INT_MIN, 4}) expected += wrong_global(index) + wrong_weak(index);
  EXPECT_EQ(out, expected);
}

TEST_F(Refs, DeletesFreeTheSlotAndASecondDeleteIsATestBug) {
  const std::string out = in_child([] {
    zol_testing_set_complaint_count(1);
    RefsJvm jvm;
    EXPECT_EQ(jvm.create_global(), 0);
    EXPECT_EQ(jvm.create_global(), 1);
    jvm.fake.clear_calls();
    jvm.delete_global(1);
    EXPECT_EQ(jvm.fake.calls(), Calls{"DeleteGlobalRef"});
    EXPECT_EQ(jvm.caught(), "");
    jvm.delete_global(1);
    EXPECT_EQ(jvm.caught(), kGlobalBug);
    ASSERT_EQ(jvm.deleted.size(), 2u);
    EXPECT_EQ(jvm.deleted[1], nullptr);
    EXPECT_EQ(jvm.create_global(), 1);
  });
  EXPECT_EQ(out, wrong_global(1));
}

TEST_F(Refs, ACollectedWeakReferenceIsATestBugYetDeletedAndFreed) {
  const std::string out = in_child([] {
    zol_testing_set_complaint_count(1);
    RefsJvm jvm;
    EXPECT_EQ(jvm.create_weak(), 0);
    EXPECT_EQ(jvm.create_weak(), 1);
    jvm.fake.clear_calls();
    jvm.delete_weak(1);
    EXPECT_EQ(jvm.fake.calls(), (Calls{"IsSameObject", "DeleteWeakGlobalRef"}));
    EXPECT_EQ(jvm.caught(), "");
    EXPECT_EQ(jvm.deleted, std::vector<jobject>{jvm.made[1]});

    jvm.collected.insert(jvm.made[0]);
    jvm.delete_weak(0);
    EXPECT_EQ(jvm.fake.calls(),
              (Calls{"IsSameObject", "ExceptionCheck", "FindClass", "ThrowNew", "DeleteWeakGlobalRef"}));
    EXPECT_EQ(jvm.caught(), "zol/share/TestBug: TEST BUG: Weak reference was collected");
    EXPECT_EQ(jvm.deleted, (std::vector<jobject>{jvm.made[1], jvm.made[0]}));
    jvm.delete_weak(0);
    EXPECT_EQ(jvm.caught(), kWeakBug);
    EXPECT_EQ(jvm.create_weak(), 0);
  });
  EXPECT_EQ(out, complaint(201, "TEST BUG: Weak reference was collected\n") + wrong_weak(0));
}

// The signal objects' class and the two methods found in it.
struct LocalJvm : RefsJvm {
  jobject first = fake.handle();
  jobject second = fake.handle();
  jclass signal = fake.klass("zol/share/ReferringObject");
  jmethodID unlock = fake.handle<jmethodID>();
  jmethodID wait_for = fake.handle<jmethodID>();
  std::vector<std::string> java;
  bool unlock_throws = false;
  bool wait_for_throws = false;

  LocalJvm() {
    FAKE_JNI_ON(fake, GetObjectClass, [this](jobject o) {
      EXPECT_EQ(o, first);
      return signal;
    });
    FAKE_JNI_ON(fake, IsInstanceOf, [this](jobject o, jclass c) -> jboolean {
      EXPECT_EQ(c, signal);
      return o == first || o == second ? JNI_TRUE : JNI_FALSE;
    });
    FAKE_JNI_ON(fake, GetMethodID, [this](jclass c, const char* name, const char* sig) {
      EXPECT_EQ(c, signal);
      EXPECT_STREQ(sig, "()V");
      return std::string(name) == "unlock" ? unlock : std::string(name) == "waitFor" ? wait_for : nullptr;
    });
    FAKE_JNI_ON(fake, CallVoidMethodV, [this](jobject o, jmethodID m, va_list) {
      java.push_back(std::string(m == unlock     ? "unlock"
                                 : m == wait_for ? "waitFor"
                                                 : "?") +
                     " on " +
                     (o == first    ? "first"
                      : o == second ? "second"
                                    : "?"));
      if (unlock_throws && m == unlock) fake.raise("java.lang.IllegalStateException");
      if (wait_for_throws && m == wait_for) fake.raise("java.lang.InterruptedException");
    });
  }

  void run() {
    Java_zol_share_ReferringObject_createJNILocalReferenceNative(fake.env(), receiver, object, first, second);
  }
};

TEST_F(Refs, TheLocalReferenceIsMadeBeforeUnlockThenWaitFor) {
  const std::string out = in_child([] {
    LocalJvm jvm;
    jvm.run();
    EXPECT_EQ(jvm.java, (Calls{"unlock on first", "waitFor on second"}));
    EXPECT_EQ(jvm.fake.calls(), (Calls{"NewLocalRef", "GetObjectClass", "GetMethodID", "CallVoidMethodV",
                                       "ExceptionOccurred", "GetMethodID", "IsInstanceOf", "CallVoidMethodV"}));
    EXPECT_EQ(jvm.caught(), "");
  });
  EXPECT_EQ(out, "");
}

TEST_F(Refs, AnExceptionFromUnlockIsRaisedAgainOnlyAfterWaitFor) {
  const std::string out = in_child([] {
    LocalJvm jvm;
    jvm.unlock_throws = true;
    jvm.run();
    EXPECT_EQ(jvm.java, (Calls{"unlock on first", "waitFor on second"}));
    EXPECT_EQ(jvm.fake.calls(),
              (Calls{"NewLocalRef", "GetObjectClass", "GetMethodID", "CallVoidMethodV", "ExceptionOccurred",
                     "ExceptionClear", "GetMethodID", "IsInstanceOf", "CallVoidMethodV", "ExceptionCheck", "Throw"}));
    EXPECT_EQ(jvm.caught(), "java.lang.IllegalStateException");

    // An exception that waitFor leaves is the one the caller gets.
    jvm.java.clear();
    jvm.wait_for_throws = true;
    jvm.run();
    EXPECT_EQ(jvm.java, (Calls{"unlock on first", "waitFor on second"}));
    EXPECT_EQ(jvm.caught(), "java.lang.InterruptedException");
  });
  EXPECT_EQ(out, "");
}

TEST_F(Refs, AFailedLocalReferenceThrowsAndCallsNothingMore) {
  const std::string out = in_child([] {
    LocalJvm jvm;
    jvm.refs_fail = true;
    jvm.run();
    EXPECT_EQ(jvm.fake.calls(), (Calls{"NewLocalRef", "ExceptionCheck", "FindClass", "ThrowNew"}));
    EXPECT_EQ(jvm.caught(), "zol/share/TestJNIError: NewLocalRef return NULL");
    EXPECT_TRUE(jvm.java.empty());
  });
  EXPECT_EQ(out, zoltest::first_complaint(kBase, 114, "NewLocalRef return NULL\n", "NewLocalRef return NULL\n"));
}

}  // namespace
