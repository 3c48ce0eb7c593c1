// The checked JNI environment and the four critical array lockers against a
// scripted JVM, with the clock, the pause and the allocator interposed: the
// order of every check and the texts handed to the handler, the passes and
// the checksum they carry, the pause inside and outside the region, and the
// end through FatalError.

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "capture.h"
#include "fake_jni.h"
#include "interpose.h"
#include "share/gc/lock/jni/CheckedJniEnv.h"

extern "C" {
jint Java_zol_share_gc_lock_jni_Grendalo_criticalNative(JNIEnv* env, jobject self, jlong run_ms, jlong pause_ms);
jfloat Java_zol_share_gc_lock_jni_Harvimble_criticalNative(JNIEnv* env, jobject self, jlong run_ms, jlong pause_ms);
jshort Java_zol_share_gc_lock_jni_Justrelo_criticalNative(JNIEnv* env, jobject self, jlong run_ms, jlong pause_ms);
jdouble Java_zol_share_gc_lock_jni_Kestramon_criticalNative(JNIEnv* env, jobject self, jlong run_ms, jlong pause_ms);
}

namespace {

using zoltest::FakeJni;
using zoltest::interposed;
using zoltest::run_forked;
using zoltest::scripted_clock;
using Calls = std::vector<std::string>;

// ---- CheckedJniEnv -------------------------------------------------------

struct Report {
  JNIEnv* env;
  std::string message;
};
std::vector<Report> reports;
void recording_handler(JNIEnv* env, const char* message) { reports.push_back({env, message}); }

// One wrapped method with a result: hooks its JNI function to return null or
// not, with or without raising, and calls it through the checked env.
struct ResultMethod {
  const char* name;
  void (*hook)(FakeJni& fake, bool null_result, bool raise);
  bool (*call)(FakeJni& fake, CheckedJniEnv& env);  // true if the result came back null
};

const ResultMethod kResultMethods[] = {
    {"GetObjectClass",
     [](FakeJni& fake, bool null_result, bool raise) {
       FAKE_JNI_ON(fake, GetObjectClass, [&fake, null_result, raise](jobject) -> jclass {
         if (raise) fake.raise("java.lang.InternalError");
         return null_result ? nullptr : fake.klass("C");
       });
     },
     [](FakeJni& fake, CheckedJniEnv& env) {
       const jclass result = env.GetObjectClass(fake.handle());
       EXPECT_TRUE(result == nullptr || result == fake.klass("C"));
       return result == nullptr;
     }},
    {"GetFieldID",
     [](FakeJni& fake, bool null_result, bool raise) {
       FAKE_JNI_ON(fake, GetFieldID, [&fake, null_result, raise](jclass, const char* name, const char* sig) {
         EXPECT_STREQ(name, "obj");
         EXPECT_STREQ(sig, "Ljava/lang/Object;");
         if (raise) fake.raise("java.lang.NoSuchFieldError: obj");
         return null_result ? nullptr : reinterpret_cast<jfieldID>(&reports);
       });
     },
     [](FakeJni& fake, CheckedJniEnv& env) {
       const jfieldID result = env.GetFieldID(fake.klass("C"), "obj", "Ljava/lang/Object;");
       EXPECT_TRUE(result == nullptr || result == reinterpret_cast<jfieldID>(&reports));
       return result == nullptr;
     }},
    {"GetObjectField",
     [](FakeJni& fake, bool null_result, bool raise) {
       FAKE_JNI_ON(fake, GetObjectField, [&fake, null_result, raise](jobject, jfieldID) -> jobject {
         if (raise) fake.raise("java.lang.IllegalStateException");
         return null_result ? nullptr : fake.klass("value");
       });
     },
     [](FakeJni& fake, CheckedJniEnv& env) {
       const jobject result = env.GetObjectField(fake.handle(), fake.handle<jfieldID>());
       EXPECT_TRUE(result == nullptr || result == fake.klass("value"));
       return result == nullptr;
     }},
    {"GetPrimitiveArrayCritical",
     [](FakeJni& fake, bool null_result, bool raise) {
       FAKE_JNI_ON(fake, GetPrimitiveArrayCritical, [&fake, null_result, raise](jarray, jboolean*) -> void* {
         if (raise) fake.raise("java.lang.OutOfMemoryError");
         return null_result ? nullptr : &reports;
       });
     },
     [](FakeJni& fake, CheckedJniEnv& env) {
       void* result = env.GetPrimitiveArrayCritical(fake.handle<jarray>(), nullptr);
       EXPECT_TRUE(result == nullptr || result == &reports);
       return result == nullptr;
     }},
};

class CheckedEnv : public ::testing::Test {
 protected:
  void SetUp() override { reports.clear(); }
  FakeJni fake;
  CheckedJniEnv env{fake.env(), recording_handler};
  CheckedJniEnv silent{fake.env(), nullptr};
};

std::vector<std::string> messages() {
  std::vector<std::string> texts;
  texts.reserve(reports.size());
  for (const Report& r : reports) texts.push_back(r.message);
  return texts;
}

TEST_F(CheckedEnv, ResultMethodsAskForAnExceptionFirstThenTestForNull) {
  for (const ResultMethod& m : kResultMethods) {
    SCOPED_TRACE(m.name);
    const std::string name = m.name;
    struct Case {
      bool null_result, raise;
      std::vector<std::string> reported;
    };
    for (const Case& c : {Case{false, false, {}}, Case{true, false, {name + " : Return is NULL"}},
                          Case{false, true, {name}}, Case{true, true, {name}}}) {
      reports.clear();
      fake.env()->ExceptionClear();  // the last case's exception
      fake.clear_calls();
      m.hook(fake, c.null_result, c.raise);
      zoltest::Scope scope;
      EXPECT_EQ(m.call(fake, env), c.null_result) << "the result goes back unchanged";
      EXPECT_EQ(messages(), c.reported) << "null " << c.null_result << ", raised " << c.raise;
      for (const Report& r : reports) EXPECT_EQ(r.env, fake.env());
      EXPECT_EQ(fake.calls(), (Calls{m.name, "ExceptionCheck"}));
      // The text is built only for a null result without an exception, and
      // released before the check returns.
      EXPECT_EQ(interposed.log,
                (c.null_result && !c.raise ? Calls{"malloc(" + std::to_string(name.size() + 18) + ")", "free(last)"}
                                           : Calls{}));
      EXPECT_EQ(interposed.live_blocks, 0);
    }
  }
}

TEST_F(CheckedEnv, UnallocatableTextFallsBackToTheBareFailure) {
  for (const ResultMethod& m : kResultMethods) {
    SCOPED_TRACE(m.name);
    reports.clear();
    m.hook(fake, true, false);
    zoltest::Scope scope;
    interposed.fail_malloc_of = strlen(m.name) + sizeof " : Return is NULL";
    EXPECT_TRUE(m.call(fake, env));
    EXPECT_EQ(messages(), Calls{"Return is NULL"});
    EXPECT_EQ(interposed.log, Calls{"malloc(" + std::to_string(interposed.fail_malloc_of) + ")"});
  }
}

TEST_F(CheckedEnv, NullHandlerPassesEveryResultThroughSilently) {
  for (const ResultMethod& m : kResultMethods) {
    SCOPED_TRACE(m.name);
    for (bool raise : {false, true}) {
      m.hook(fake, true, raise);
      EXPECT_TRUE(m.call(fake, silent));
    }
  }
  fake.raise("E");
  FAKE_JNI_ON(fake, SetObjectField, [](jobject, jfieldID, jobject) {});
  FAKE_JNI_ON(fake, GetArrayLength, [](jarray) -> jsize { return 7; });
  FAKE_JNI_ON(fake, ReleasePrimitiveArrayCritical, [](jarray, void*, jint) {});
  silent.SetObjectField(fake.handle(), fake.handle<jfieldID>(), nullptr);
  EXPECT_EQ(silent.GetArrayLength(fake.handle<jarray>()), 7);
  silent.ReleasePrimitiveArrayCritical(fake.handle<jarray>(), &reports, 0);
  EXPECT_TRUE(reports.empty());
}

TEST_F(CheckedEnv, MethodsWithoutAReferenceResultCheckOnlyForAnException) {
  jobject obj = fake.handle(), value = fake.handle();
  jfieldID field = fake.handle<jfieldID>();
  jarray array = fake.handle<jarray>();
  bool raise = false;
  FAKE_JNI_ON(fake, SetObjectField, [&](jobject o, jfieldID f, jobject v) {
    EXPECT_EQ(o, obj);
    EXPECT_EQ(f, field);
    EXPECT_EQ(v, value);
    if (raise) fake.raise("E");
  });
  FAKE_JNI_ON(fake, GetArrayLength, [&](jarray a) -> jsize {
    EXPECT_EQ(a, array);
    if (raise) fake.raise("E");
    return 0;
  });
  FAKE_JNI_ON(fake, ReleasePrimitiveArrayCritical, [&](jarray a, void* elements, jint mode) {
    EXPECT_EQ(a, array);
    EXPECT_EQ(elements, &reports);
    EXPECT_EQ(mode, 2);
    if (raise) fake.raise("E");
  });
  for (bool raising : {false, true}) {
    raise = raising;
    reports.clear();
    zoltest::Scope scope;
    env.SetObjectField(obj, field, value);
    EXPECT_EQ(env.GetArrayLength(array), 0) << "a length of 0 is no failure";
    env.ReleasePrimitiveArrayCritical(array, &reports, 2);
    EXPECT_EQ(messages(),
              (raising ? Calls{"SetObjectField", "GetArrayLength", "ReleasePrimitiveArrayCritical"} : Calls{}));
    EXPECT_TRUE(interposed.log.empty());
  }
}

TEST_F(CheckedEnv, AnExceptionPendingBeforeASuccessfulCallIsReportedAgainstIt) {
  kResultMethods[0].hook(fake, false, false);
  fake.raise("java.lang.RuntimeException: earlier");
  EXPECT_FALSE(kResultMethods[0].call(fake, env));
  EXPECT_EQ(messages(), Calls{"GetObjectClass"});
}

TEST(FatalErrorHandler, DescribesAPendingExceptionThenEndsWithTheMessage) {
  FakeJni fake;
  fake.raise("java.lang.NoSuchFieldError: obj");
  zoltest::Exit end = run_forked([&] { fatal_error_handler(fake.env(), "GetFieldID"); });
  EXPECT_EQ(end.status, zoltest::kAbortStatus);
  EXPECT_EQ(end.out, "[described: java.lang.NoSuchFieldError: obj]\n");
  EXPECT_EQ(end.err, "FatalError: GetFieldID\n");

  FakeJni quiet;
  end = run_forked([&] {
    fatal_error_handler(quiet.env(), "GetObjectField : Return is NULL");
    printf("handler returned\n");
  });
  EXPECT_EQ(end.status, zoltest::kAbortStatus);
  EXPECT_EQ(end.out, "");
  EXPECT_EQ(end.err, "FatalError: GetObjectField : Return is NULL\n");
}

// ---- criticalNative ------------------------------------------------------

const time_t kStart = 1700000000;

// Field identifiers outlive a test: each library keeps the first one it looks
// up for the rest of the process, so every fake JVM hands out the same one.
int field_anchor;
jfieldID const kObjField = reinterpret_cast<jfieldID>(&field_anchor);
// The libraries whose identifier this process has already looked up.
std::set<std::string> looked_up;

template <typename T>
using Native = T (*)(JNIEnv*, jobject, jlong, jlong);

// A locker object whose obj holds an array of T, on a fake JVM.
template <typename T>
struct Locker {
  std::string library;
  Native<T> native;
  FakeJni fake;
  jobject self = fake.handle();
  jclass cls = fake.klass("zol/share/gc/lock/jni/" + library);
  jarray array = fake.handle<jarray>();
  jobject obj = array;
  // One spare slot, so that an empty array still has a non-null address.
  std::vector<T> elements;
  std::vector<T> storage;
  bool missing_field = false;
  std::vector<jobject> obj_seen_in_region;

  Locker(const char* name, Native<T> fn, std::vector<T> values) : library(name), native(fn), elements(values) {
    FAKE_JNI_ON(fake, GetObjectClass, [this](jobject o) {
      EXPECT_EQ(o, self);
      return cls;
    });
    FAKE_JNI_ON(fake, GetFieldID, [this](jclass c, const char* field, const char* sig) -> jfieldID {
      EXPECT_EQ(c, cls);
      EXPECT_EQ(std::string(field) + " " + sig, "obj Ljava/lang/Object;");
      if (missing_field) {
        fake.raise("java.lang.NoSuchFieldError: obj");
        return nullptr;
      }
      looked_up.insert(library);
      return kObjField;
    });
    FAKE_JNI_ON(fake, GetObjectField, [this](jobject o, jfieldID f) {
      EXPECT_EQ(o, self);
      EXPECT_EQ(f, kObjField);
      return obj;
    });
    FAKE_JNI_ON(fake, SetObjectField, [this](jobject o, jfieldID f, jobject value) {
      EXPECT_EQ(o, self);
      EXPECT_EQ(f, kObjField);
      obj = value;
    });
    FAKE_JNI_ON(fake, GetArrayLength, [this](jarray a) {
      EXPECT_EQ(a, array);
      return static_cast<jsize>(elements.size());
    });
    FAKE_JNI_ON(fake, GetPrimitiveArrayCritical, [this](jarray a, jboolean* is_copy) -> void* {
      EXPECT_EQ(a, array);
      EXPECT_EQ(is_copy, nullptr);
      interposed.log.push_back("enter");
      obj_seen_in_region.push_back(obj);
      storage = elements;
      storage.push_back(T());
      return storage.data();
    });
    FAKE_JNI_ON(fake, ReleasePrimitiveArrayCritical, [this](jarray a, void* region, jint mode) {
      EXPECT_EQ(a, array);
      EXPECT_EQ(region, storage.data());
      EXPECT_EQ(mode, 0);
      interposed.log.push_back("leave");
      storage.pop_back();
      EXPECT_EQ(storage, elements) << "the native wrote into the array";
    });
  }

  // The first call in a process looks the field up; later ones use it.
  Calls lookup() const {
    return looked_up.count(library) ? Calls{}
                                    : Calls{"GetObjectClass", "ExceptionCheck", "GetFieldID", "ExceptionCheck"};
  }

  // Runs the native with the clock reading clock in turn.
  T run(jlong run_ms, jlong pause_ms, const std::vector<time_t>& clock) {
    interposed.clock = scripted_clock(clock);
    return native(fake.env(), self, run_ms, pause_ms);
  }
};

Locker<jint> grendalo(const std::vector<jint>& values) {
  return {"Grendalo", Java_zol_share_gc_lock_jni_Grendalo_criticalNative, values};
}

// One pass's log with a pause of 1500 ms.
const Calls kPass = {"enter", "sleep 1.500000000", "leave", "sleep 1.500000000", "time"};

Calls passes(size_t n) {
  Calls log = {"time"};
  for (size_t i = 0; i < n; i++) log.insert(log.end(), kPass.begin(), kPass.end());
  return log;
}

TEST(CriticalNative, RunsBelowOneSecondMakeExactlyOnePass) {
  for (jlong run_ms : {jlong{0}, jlong{1}, jlong{999}, jlong{-1}, jlong{-1999}, jlong{-1000000000}}) {
    SCOPED_TRACE(run_ms);
    Locker<jint> locker = grendalo({5, 9, 12});
    const Calls lookup = locker.lookup();
    zoltest::Scope scope;
    // A clock standing still would run any limit above 0 for ever.
    EXPECT_EQ(locker.run(run_ms, 1500, {kStart, kStart}), 5 ^ 9 ^ 12);
    EXPECT_EQ(interposed.log, passes(1));
    Calls expected = lookup;
    for (const char* call : {"GetObjectField", "ExceptionCheck", "SetObjectField", "ExceptionCheck", "GetArrayLength",
                             "ExceptionCheck", "GetPrimitiveArrayCritical", "ExceptionCheck",
                             "ReleasePrimitiveArrayCritical", "ExceptionCheck", "SetObjectField", "ExceptionCheck"}) {
      expected.push_back(call);
    }
    EXPECT_EQ(locker.fake.calls(), expected);
    EXPECT_EQ(locker.obj_seen_in_region, std::vector<jobject>{nullptr});
    EXPECT_EQ(locker.obj, locker.array);
  }
}

TEST(CriticalNative, PassesRunWhileTheWholeSecondsElapsedStayBelowTheLimit) {
  struct Case {
    jlong run_ms;
    std::vector<time_t> clock;
    size_t passes;
  };
  for (const Case& c : {
           // 2999 ms is 2 s: the pass that reads start + 2 is the last.
           Case{2999, {kStart, kStart, kStart + 1, kStart + 1, kStart + 2}, 4},
           Case{2000, {kStart, kStart + 1, kStart + 2}, 2},
           Case{1000, {kStart, kStart, kStart, kStart + 7}, 3},
           Case{1000, {kStart, kStart + 1}, 1},
           // A clock that goes back keeps the passes going.
           Case{1000, {kStart, kStart - 5, kStart + 1}, 2},
       }) {
    SCOPED_TRACE(c.run_ms);
    Locker<jint> locker = grendalo({5});
    zoltest::Scope scope;
    // One element 5: the passes' exclusive or is 5 when odd, 0 when even.
    EXPECT_EQ(locker.run(c.run_ms, 1500, c.clock), c.passes % 2 ? 5 : 0);
    EXPECT_EQ(interposed.log, passes(c.passes));
    EXPECT_EQ(locker.obj_seen_in_region, std::vector<jobject>(c.passes, nullptr));
    EXPECT_EQ(locker.obj, locker.array);
  }
}

TEST(CriticalNative, EachMemberFoldsItsElementsIntoTheCarriedChecksum) {
  const std::vector<time_t> three = {kStart, kStart, kStart, kStart + 1};
  {
    Locker<jint> locker = grendalo({0x7fffffff, -1, 0x10});
    zoltest::Scope scope;
    EXPECT_EQ(locker.run(1000, 0, three), static_cast<jint>(0x80000010)) << "odd passes";
  }
  {
    Locker<jshort> locker{
        "Justrelo", Java_zol_share_gc_lock_jni_Justrelo_criticalNative, {static_cast<jshort>(-32768), 0x00ff, -2}};
    zoltest::Scope scope;
    EXPECT_EQ(locker.run(1000, 0, three), static_cast<jshort>(0x7f01));
    zoltest::Scope again;
    EXPECT_EQ(locker.run(1000, 0, {kStart, kStart, kStart + 1}), 0) << "even passes";
  }
  {
    // In single precision 1e8 + 1 is 1e8 again; in double it would not be.
    Locker<jfloat> locker{"Harvimble", Java_zol_share_gc_lock_jni_Harvimble_criticalNative, {1e8f, 1, 1, 1}};
    zoltest::Scope scope;
    EXPECT_EQ(locker.run(1000, 0, three), 3e8f);
    zoltest::Scope again;
    // Rounded at every step 1e8 + 5 + 5 is 100000016; the double sum rounded
    // once would be 100000008.
    locker.elements = {1e8f, 5, 5};
    EXPECT_EQ(locker.run(0, 0, {kStart, kStart}), 100000016.0f);
  }
  {
    Locker<jdouble> locker{"Kestramon", Java_zol_share_gc_lock_jni_Kestramon_criticalNative, {1e8, 1, 0.5}};
    zoltest::Scope scope;
    EXPECT_EQ(locker.run(1000, 0, three), 300000004.5);
  }
}

TEST(CriticalNative, EmptyArrayStillEntersPausesAndLeavesEveryPass) {
  Locker<jdouble> locker{"Kestramon", Java_zol_share_gc_lock_jni_Kestramon_criticalNative, {}};
  zoltest::Scope scope;
  EXPECT_EQ(locker.run(1000, 1500, {kStart, kStart, kStart + 1}), 0.0);
  EXPECT_EQ(interposed.log, passes(2));
}

TEST(CriticalNative, PauseIsAnUnsigned32BitMillisecondCount) {
  struct Case {
    jlong pause_ms;
    Calls sleep;
  };
  // Windows' Sleep never returns from its largest count: it comes in two parts.
#ifdef _WIN32
  const Calls longest = {"sleep 4294967.294000000", "sleep 0.001000000"};
#else
  const Calls longest = {"sleep 4294967.295000000"};
#endif
  // 0 and below still sleep, for no time, inside the region and outside it.
  for (const Case& c :
       {Case{0, {"sleep 0.000000000"}}, Case{-1, {"sleep 0.000000000"}}, Case{INT64_MIN, {"sleep 0.000000000"}},
        Case{1, {"sleep 0.001000000"}}, Case{999, {"sleep 0.999000000"}}, Case{4294967295, longest},
        Case{4294967296, longest}, Case{INT64_MAX, longest}}) {
    SCOPED_TRACE(c.pause_ms);
    Locker<jint> locker = grendalo({1});
    zoltest::Scope scope;
    locker.run(0, c.pause_ms, {kStart, kStart});
    Calls expected = {"time", "enter"};
    expected.insert(expected.end(), c.sleep.begin(), c.sleep.end());
    expected.push_back("leave");
    expected.insert(expected.end(), c.sleep.begin(), c.sleep.end());
    expected.push_back("time");
    EXPECT_EQ(interposed.log, expected);
  }
}

TEST(CriticalNative, InterruptedPauseSleepsOnForTheRemainingTime) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows' Sleep is not cut short by signals";
#endif
  Locker<jint> locker = grendalo({1});
  zoltest::Scope scope;
  interposed.interruptions = {{0, 250000000}, {0, 1000}};
  locker.run(0, 1500, {kStart, kStart});
  EXPECT_EQ(interposed.log, (Calls{"time", "enter", "sleep 1.500000000", "sleep 0.250000000", "sleep 0.000001000",
                                   "leave", "sleep 1.500000000", "time"}));
}

TEST(CriticalNative, FieldIsLookedUpOnceAndKept) {
  for (int call = 0; call < 2; call++) {
    Locker<jfloat> locker{"Harvimble", Java_zol_share_gc_lock_jni_Harvimble_criticalNative, {1}};
    const bool fresh = !locker.lookup().empty();
    zoltest::Scope scope;
    locker.run(0, 0, {kStart, kStart});
    EXPECT_EQ(locker.fake.count("GetFieldID"), fresh ? 1u : 0u);
    EXPECT_EQ(looked_up.count("Harvimble"), 1u);
  }
}

TEST(CriticalNative, NullObjEndsTheProcessNamingGetObjectField) {
  Locker<jshort> locker{"Justrelo", Java_zol_share_gc_lock_jni_Justrelo_criticalNative, {1}};
  locker.obj = nullptr;
  zoltest::Exit end = run_forked([&] { locker.run(0, 0, {kStart, kStart}); });
  EXPECT_EQ(end.status, zoltest::kAbortStatus);
  EXPECT_EQ(end.out, "");
  EXPECT_EQ(end.err, "FatalError: GetObjectField : Return is NULL\n");
}

TEST(CriticalNative, MissingFieldDescribesTheErrorAndEndsNamingGetFieldID) {
  Locker<jint> locker = grendalo({1});
  if (locker.lookup().empty()) GTEST_SKIP() << "Grendalo's field is already cached in this process";
  locker.missing_field = true;
  zoltest::Exit end = run_forked([&] { locker.run(0, 0, {kStart, kStart}); });
  EXPECT_EQ(end.status, zoltest::kAbortStatus);
  EXPECT_EQ(end.out, "[described: java.lang.NoSuchFieldError: obj]\n");
  EXPECT_EQ(end.err, "FatalError: GetFieldID\n");
}

}  // namespace
