// Pellandor against a scripted JVM: Agent_OnLoad's steps and
// each failure line, initWatchers' failures, the event line and flag fields,
// the tool-interface failures that drop an event (releasing what was
// obtained), and the walk over stored objects: order, duplicates, errors,
// static and array fields, cycles and the tags that guard them, a long chain,
// bounded local references.

#include <gtest/gtest.h>

#include <unistd.h>
#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "capture.h"
#include "fake_jni.h"
#include "fake_jvmti.h"

extern "C" {
jboolean Java_Pellandor_initWatchers(JNIEnv* env, jclass self, jclass klass, jobject field, jobject thread);
jboolean Java_Pellandor_startTest(JNIEnv* env, jclass self, jobject object);
void Java_Pellandor_stopTest(JNIEnv* env, jclass self);
}

namespace {

using zoltest::capture;
using zoltest::FakeJni;
using zoltest::FakeJvmti;
using Calls = std::vector<std::string>;

// A JVM with classes, fields and objects, enough for the agent's calls. Local
// and global references are the objects' own handles; their counts are kept.
struct AgentJvm {
  struct Field {
    std::string klass, name, signature;
    bool is_static;
  };

  FakeJni jni;
  FakeJvmti ti;
  jvmtiEventCallbacks callbacks{};
  // Function name -> the error it returns.
  std::map<std::string, jvmtiError> fail;
  // Function name -> the number of the call (from 1) that fails with fail[name].
  std::map<std::string, int> fail_at;
  std::map<std::string, int> counted;

  std::map<jfieldID, Field> fields;
  std::map<std::string, std::vector<jfieldID>> class_fields;
  std::map<std::string, std::string> superclass;
  std::map<jobject, std::string> class_of;
  std::map<std::pair<jobject, jfieldID>, jobject> values;
  std::map<jfieldID, jobject> statics;
  std::set<std::pair<jclass, jfieldID>> modification_watches, access_watches;
  std::vector<std::string> watched, read;
  int live_locals = 0, max_live_locals = 0, live_globals = 0;

  jobject thread = jni.handle();
  jobject reflected = jni.handle();
  jobject test_object = jni.handle();
  jmethodID method = jni.handle<jmethodID>();
  jfieldID flag_id = jni.handle<jfieldID>();
  std::map<std::string, bool> flags;
  const char* generic = nullptr;

  jvmtiError result(const std::string& function) {
    auto found = fail.find(function);
    if (found == fail.end()) return JVMTI_ERROR_NONE;
    auto at = fail_at.find(function);
    if (at != fail_at.end() && ++counted[function] != at->second) return JVMTI_ERROR_NONE;
    return found->second;
  }

  template <typename T>
  T local(T ref) {
    if (ref != nullptr) max_live_locals = std::max(max_live_locals, ++live_locals);
    return ref;
  }

  jfieldID field(const std::string& klass, const std::string& name, const std::string& signature,
                 bool is_static = false) {
    jfieldID id = jni.handle<jfieldID>();
    fields[id] = {klass, name, signature, is_static};
    class_fields[klass].push_back(id);
    jni.klass(klass);
    return id;
  }

  jobject object(const std::string& klass) {
    jobject o = jni.handle();
    class_of[o] = klass;
    return o;
  }

  std::string name(jclass klass, jfieldID id) {
    EXPECT_EQ(jni.class_name(klass), fields[id].klass);
    return fields[id].klass + "." + fields[id].name;
  }

  jvmtiError watch(std::set<std::pair<jclass, jfieldID>>& set, const char* function, const char* kind, jclass klass,
                   jfieldID id) {
    watched.push_back(std::string(kind) + " " + name(klass, id));
    jvmtiError err = result(function);
    if (err == JVMTI_ERROR_NONE && !set.insert({klass, id}).second) err = JVMTI_ERROR_DUPLICATE;
    return err;
  }

  AgentJvm() {
    FAKE_JVMTI_ON(ti, AddCapabilities, [this](const jvmtiCapabilities*) { return result("AddCapabilities"); });
    FAKE_JVMTI_ON(ti, SetEventCallbacks, [this](const jvmtiEventCallbacks* cb, jint size) {
      EXPECT_EQ(size, static_cast<jint>(sizeof(jvmtiEventCallbacks)));
      callbacks = *cb;
      return result("SetEventCallbacks");
    });
    FAKE_JVMTI_ON(ti, SetEventNotificationMode, [this](jvmtiEventMode, jvmtiEvent event, jthread) {
      return result(event == JVMTI_EVENT_FIELD_ACCESS ? "access" : "modification");
    });
    FAKE_JVMTI_ON(ti, SetFieldModificationWatch, [this](jclass klass, jfieldID id) {
      return watch(modification_watches, "SetFieldModificationWatch", "modify", klass, id);
    });
    FAKE_JVMTI_ON(ti, SetFieldAccessWatch, [this](jclass klass, jfieldID id) {
      return watch(access_watches, "SetFieldAccessWatch", "access", klass, id);
    });
    FAKE_JVMTI_ON(ti, GetFieldName, [this](jclass klass, jfieldID id, char** field_name, char** sig, char** gen) {
      EXPECT_EQ(gen, nullptr);
      EXPECT_NE(field_name == nullptr, sig == nullptr) << "the name or the signature";
      jvmtiError err = result("GetFieldName");
      if (err != JVMTI_ERROR_NONE) return err;
      name(klass, id);
      if (field_name != nullptr) *field_name = ti.string(fields[id].name);
      if (sig != nullptr) *sig = ti.string(fields[id].signature);
      return JVMTI_ERROR_NONE;
    });
    FAKE_JVMTI_ON(ti, GetFieldModifiers, [this](jclass, jfieldID id, jint* modifiers) {
      *modifiers = fields[id].is_static ? 0x0009 : 0x0001;
      return result("GetFieldModifiers");
    });
    FAKE_JVMTI_ON(ti, GetClassFields, [this](jclass klass, jint* count, jfieldID** ids) {
      jvmtiError err = result("GetClassFields");
      if (err != JVMTI_ERROR_NONE) return err;
      const std::string cls = jni.class_name(klass);
      *count = static_cast<jint>(class_fields[cls].size());
      *ids = ti.array(class_fields[cls], "fields of " + cls);
      return JVMTI_ERROR_NONE;
    });
    FAKE_JVMTI_ON(ti, GetMethodName, [this](jmethodID m, char** method_name, char** sig, char** gen) {
      EXPECT_EQ(m, method);
      EXPECT_EQ(sig, nullptr);
      jvmtiError err = result("GetMethodName");
      if (err != JVMTI_ERROR_NONE) return err;
      *method_name = ti.string("run");
      *gen = generic != nullptr ? ti.string(generic) : nullptr;
      return JVMTI_ERROR_NONE;
    });
    FAKE_JVMTI_ON(ti, GetMethodDeclaringClass, [this](jmethodID, jclass* klass) {
      jvmtiError err = result("GetMethodDeclaringClass");
      if (err == JVMTI_ERROR_NONE) *klass = local(jni.klass("Main"));
      return err;
    });
    FAKE_JVMTI_ON(ti, GetClassSignature, [this](jclass klass, char** sig, char** gen) {
      EXPECT_EQ(jni.class_name(klass), "Main");
      EXPECT_EQ(gen, nullptr);
      jvmtiError err = result("GetClassSignature");
      if (err == JVMTI_ERROR_NONE) *sig = ti.string("LMain;");
      return err;
    });

    FAKE_JNI_ON(jni, FromReflectedField, [this](jobject f) {
      EXPECT_EQ(f, reflected);
      return field("Test", "x", "I");
    });
    FAKE_JNI_ON(jni, NewGlobalRef, [this](jobject ref) {
      ++live_globals;
      return ref;
    });
    FAKE_JNI_ON(jni, DeleteGlobalRef, [this](jobject) { --live_globals; });
    FAKE_JNI_ON(jni, DeleteLocalRef, [this](jobject ref) {
      if (ref != nullptr) --live_locals;
    });
    FAKE_JNI_ON(jni, IsSameObject, [](jobject a, jobject b) -> jboolean { return a == b; });
    FAKE_JNI_ON(jni, GetObjectClass, [this](jobject o) {
      if (o == test_object) return local(jni.klass("Test"));
      EXPECT_EQ(class_of.count(o), 1u);
      return local(jni.klass(class_of[o]));
    });
    FAKE_JNI_ON(jni, GetSuperclass, [this](jclass klass) {
      auto found = superclass.find(jni.class_name(klass));
      return found == superclass.end() ? nullptr : local(jni.klass(found->second));
    });
    FAKE_JNI_ON(jni, GetObjectField, [this](jobject o, jfieldID id) {
      EXPECT_FALSE(fields[id].is_static) << fields[id].name;
      read.push_back(fields[id].name);
      return local(values[{o, id}]);
    });
    FAKE_JNI_ON(jni, GetStaticObjectField, [this](jclass klass, jfieldID id) {
      EXPECT_TRUE(fields[id].is_static) << fields[id].name;
      EXPECT_EQ(jni.class_name(klass), fields[id].klass);
      read.push_back("static " + fields[id].name);
      return local(statics[id]);
    });
    FAKE_JNI_ON(jni, GetFieldID, [this](jclass klass, const char* flag, const char* sig) -> jfieldID {
      EXPECT_EQ(jni.class_name(klass), "Test");
      EXPECT_STREQ(sig, "Z");
      if (flags.count(flag) == 0) {
        jni.raise(std::string("java.lang.NoSuchFieldError: ") + flag);
        return nullptr;
      }
      flags[flag] = false;
      last_flag = flag;
      return flag_id;
    });
    FAKE_JNI_ON(jni, SetBooleanField, [this](jobject o, jfieldID id, jboolean value) {
      EXPECT_EQ(o, test_object);
      EXPECT_EQ(id, flag_id);
      flags[last_flag] = value == JNI_TRUE;
    });
  }
  std::string last_flag;

  jint load() { return Agent_OnLoad(ti.vm(), nullptr, nullptr); }

  // Loaded, watching Test.x on thread, test running on test_object.
  void start() {
    ASSERT_EQ(load(), JNI_OK);
    ASSERT_TRUE(Java_Pellandor_initWatchers(jni.env(), nullptr, jni.klass("Test"), reflected, thread));
    Java_Pellandor_startTest(jni.env(), nullptr, test_object);
    ti.clear_calls();
    jni.clear_calls();
  }

  void access(jobject on_thread, jfieldID id, jlocation location = 3) {
    callbacks.FieldAccess(ti.env(), jni.env(), on_thread, method, location, jni.klass(fields[id].klass), test_object,
                          id);
  }

  void modify(jobject on_thread, jfieldID id, char type, jvalue value, jlocation location = 3) {
    callbacks.FieldModification(ti.env(), jni.env(), on_thread, method, location, jni.klass(fields[id].klass),
                                test_object, id, type, value);
  }

  void store(jobject value) {
    jvalue v;
    v.l = value;
    modify(thread, stored_into, 'L', v);
  }
  jfieldID stored_into = field("Holder", "ref", "Ljava/lang/Object;");

  ~AgentJvm() {
    Java_Pellandor_stopTest(jni.env(), nullptr);
    EXPECT_EQ(ti.outstanding(), 0u) << "tool-interface memory not deallocated";
  }
};

TEST(Pellandor, OnLoadTakesThreeCapabilitiesTwoCallbacksAndBothEvents) {
  AgentJvm jvm;
  jint version = 0;
  jvm.ti.get_env = [&](void** penv, jint v) {
    version = v;
    *penv = jvm.ti.env();
    return JNI_OK;
  };
  jvmtiCapabilities caps{};
  FAKE_JVMTI_ON(jvm.ti, AddCapabilities, [&](const jvmtiCapabilities* c) {
    caps = *c;
    return JVMTI_ERROR_NONE;
  });
  std::vector<std::pair<jvmtiEventMode, jvmtiEvent>> events;
  FAKE_JVMTI_ON(jvm.ti, SetEventNotificationMode, [&](jvmtiEventMode mode, jvmtiEvent event, jthread t) {
    EXPECT_EQ(t, nullptr);
    events.push_back({mode, event});
    return JVMTI_ERROR_NONE;
  });
  EXPECT_EQ(capture([&] { EXPECT_EQ(jvm.load(), JNI_OK); }).out, "");
  EXPECT_EQ(version, JVMTI_VERSION_1_1);
  EXPECT_EQ(jvm.ti.calls(), (Calls{"GetEnv", "AddCapabilities", "SetEventCallbacks", "SetEventNotificationMode",
                                   "SetEventNotificationMode"}));
  jvmtiCapabilities expected{};
  expected.can_tag_objects = 1;
  expected.can_generate_field_modification_events = 1;
  expected.can_generate_field_access_events = 1;
  EXPECT_EQ(memcmp(&caps, &expected, sizeof caps), 0);
  EXPECT_NE(jvm.callbacks.FieldAccess, nullptr);
  EXPECT_NE(jvm.callbacks.FieldModification, nullptr);
  jvmtiEventCallbacks others = jvm.callbacks;
  others.FieldAccess = nullptr;
  others.FieldModification = nullptr;
  const jvmtiEventCallbacks none{};
  EXPECT_EQ(memcmp(&others, &none, sizeof none), 0) << "only the two field callbacks";
  EXPECT_EQ(events, (std::vector<std::pair<jvmtiEventMode, jvmtiEvent>>{
                        {JVMTI_ENABLE, JVMTI_EVENT_FIELD_ACCESS}, {JVMTI_ENABLE, JVMTI_EVENT_FIELD_MODIFICATION}}));
}

TEST(Pellandor, OnLoadLeavesStdoutUnbuffered) {
  auto done = zoltest::run_forked([] {
    AgentJvm jvm;
    jvm.load();
    printf("still in the buffer?");
    _exit(0);  // no flush at exit
  });
  EXPECT_EQ(done.out, "still in the buffer?");
}

TEST(Pellandor, EachOnLoadFailurePrintsItsLineAndReturnsMinusOne) {
  struct Step {
    const char* function;
    const char* line;
    size_t calls;
  } steps[] = {
      {"AddCapabilities", "Failed to set capabilities, error: 98\n", 2},
      {"SetEventCallbacks", "Failed to set event callbacks, error: 98\n", 3},
      {"access", "Failed to set access notifications, error: 98\n", 4},
      {"modification", "Failed to set modification notifications, error: 98\n", 5},
  };
  for (const Step& step : steps) {
    AgentJvm jvm;
    jvm.fail[step.function] = JVMTI_ERROR_NOT_AVAILABLE;
    jint rc = 0;
    EXPECT_EQ(capture([&] { rc = jvm.load(); }).out, step.line);
    EXPECT_EQ(rc, JNI_ERR) << step.function;
    EXPECT_EQ(jvm.ti.calls().size(), step.calls) << step.function;
  }

  AgentJvm jvm;
  jvm.ti.get_env = [](void** penv, jint) {
    *penv = nullptr;
    return JNI_EVERSION;
  };
  jint rc = 0;
  EXPECT_EQ(capture([&] { rc = jvm.load(); }).out, "GetEnv failed, error: -3\n");
  EXPECT_EQ(rc, JNI_ERR);
  jvm.ti.get_env = [](void** penv, jint) {
    *penv = nullptr;
    return JNI_OK;
  };
  EXPECT_EQ(capture([&] { rc = jvm.load(); }).out, "GetEnv failed, error: 0\n");
  EXPECT_EQ(rc, JNI_ERR);
  EXPECT_EQ(jvm.ti.calls(), (Calls{"GetEnv", "GetEnv"}));

  // With no environment kept, the natives act as if no agent were loaded.
  jboolean ok = JNI_TRUE;
  EXPECT_EQ(capture([&] {
              ok =
                  Java_Pellandor_initWatchers(jvm.jni.env(), nullptr, jvm.jni.klass("Test"), jvm.reflected, jvm.thread);
            }).out,
            "jvmti is NULL, error: 0\n");
  EXPECT_FALSE(ok);
  EXPECT_TRUE(jvm.jni.calls().empty());
}

TEST(Pellandor, InitWatchersFailuresKeepTheWatchedThread) {
  AgentJvm jvm;
  jvm.start();
  jobject other = jvm.jni.handle();
  jboolean ok = JNI_TRUE;
  auto init = [&] {
    ok = Java_Pellandor_initWatchers(jvm.jni.env(), nullptr, jvm.jni.klass("Test"), jvm.reflected, other);
  };

  jvm.fail["SetFieldModificationWatch"] = JVMTI_ERROR_DUPLICATE;
  EXPECT_EQ(capture(init).out, "SetFieldModificationWatch failed, error: 40\n");
  EXPECT_FALSE(ok);
  EXPECT_EQ(jvm.ti.calls(), (Calls{"SetFieldModificationWatch"}));
  jvm.fail.clear();
  jvm.fail["SetFieldAccessWatch"] = JVMTI_ERROR_INVALID_FIELDID;
  jvm.ti.clear_calls();
  EXPECT_EQ(capture(init).out, "SetPellandor failed, error: 25\n");
  EXPECT_FALSE(ok);
  EXPECT_EQ(jvm.ti.calls(), (Calls{"SetFieldModificationWatch", "SetFieldAccessWatch"}));
  EXPECT_EQ(jvm.jni.count("NewGlobalRef"), 0u);

  // Still the first thread's events that count.
  jvm.fail.clear();
  EXPECT_EQ(capture([&] { jvm.access(other, jvm.stored_into); }).out, "");
  EXPECT_NE(capture([&] { jvm.access(jvm.thread, jvm.stored_into); }).out, "");
}

TEST(Pellandor, EventLineAndFlagField) {
  AgentJvm jvm;
  jvm.start();
  jfieldID x = jvm.field("Test", "x", "I");
  jvm.flags["x_access"] = false;
  jvm.flags["x_modify"] = false;

  // The location is narrowed to 32 bits; no generic signature prints as glibc would.
  EXPECT_EQ(capture([&] { jvm.access(jvm.thread, x, (jlocation{1} << 32) + 7); }).out,
            "\"class: LMain; method: run(null)\" accessed field: \"x\", location: 7\n");
  EXPECT_TRUE(jvm.flags["x_access"]);
  EXPECT_FALSE(jvm.flags["x_modify"]);
  // Every string of the event, the missing generic signature too (a JVM ignores NULL).
  EXPECT_EQ(jvm.ti.deallocated(), (Calls{"LMain;", "run", "NULL", "x"}));
  EXPECT_EQ(jvm.jni.calls(),
            (Calls{"IsSameObject", "DeleteLocalRef", "GetFieldID", "SetBooleanField", "ExceptionClear"}));
  EXPECT_EQ(jvm.live_locals, 0);

  jvm.generic = "<T:Ljava/lang/Object;>()TT;";
  jvm.ti.clear_calls();
  jvalue v;
  v.i = 5;
  EXPECT_EQ(capture([&] { jvm.modify(jvm.thread, x, 'I', v, 12); }).out,
            "\"class: LMain; method: run<T:Ljava/lang/Object;>()TT;\" modified field: \"x\", location: 12\n");
  EXPECT_TRUE(jvm.flags["x_modify"]);
  EXPECT_EQ(jvm.ti.deallocated(),
            (Calls{"LMain;", "run", "NULL", "x", "LMain;", "run", "<T:Ljava/lang/Object;>()TT;", "x"}));
  EXPECT_EQ(jvm.ti.count("GetClassFields"), 0u) << "a primitive value is not walked";

  // No flag field: the line, and the NoSuchFieldError dropped.
  jfieldID y = jvm.field("Test", "y", "I");
  jvm.jni.clear_calls();
  EXPECT_EQ(capture([&] { jvm.access(jvm.thread, y, 1); }).out,
            "\"class: LMain; method: run<T:Ljava/lang/Object;>()TT;\" accessed field: \"y\", location: 1\n");
  EXPECT_EQ(jvm.jni.pending(), nullptr);
  EXPECT_EQ(jvm.jni.count("SetBooleanField"), 0u);
}

TEST(Pellandor, NothingIsReportedOffTheWatchedThreadOrOutsideATest) {
  AgentJvm jvm;
  jvm.start();
  jfieldID x = jvm.field("Test", "x", "I");
  jvm.flags["x_access"] = false;
  EXPECT_EQ(capture([&] { jvm.access(jvm.jni.handle(), x); }).out, "");
  EXPECT_EQ(jvm.jni.calls(), (Calls{"IsSameObject"}));
  Java_Pellandor_stopTest(jvm.jni.env(), nullptr);
  jvm.jni.clear_calls();
  EXPECT_EQ(capture([&] { jvm.access(jvm.thread, x); }).out, "");
  EXPECT_TRUE(jvm.jni.calls().empty());
  EXPECT_TRUE(jvm.ti.calls().empty());
  EXPECT_FALSE(jvm.flags["x_access"]);
  EXPECT_EQ(jvm.live_globals, 1) << "only the watched thread stays";
}

TEST(Pellandor, AFailingLookupDropsTheEventAndReleasesWhatItGot) {
  struct Case {
    const char* function;
    const char* line;
    Calls released;
  } cases[] = {
      {"GetFieldName", "GetFieldName failed, error: 23\n", {}},
      {"GetMethodName", "GetMethodName failed, error: 23\n", {"x"}},
      {"GetMethodDeclaringClass", "GetMethodDeclaringClass failed, error: 23\n", {"run", "x"}},
      {"GetClassSignature", "GetClassSignature failed, error: 23\n", {"run", "x"}},
  };
  for (const Case& c : cases) {
    AgentJvm jvm;
    jvm.start();
    jfieldID x = jvm.field("Test", "x", "I");
    jvm.flags["x_access"] = false;
    jvm.fail[c.function] = JVMTI_ERROR_INVALID_METHODID;
    EXPECT_EQ(capture([&] { jvm.access(jvm.thread, x); }).out, c.line);
    EXPECT_EQ(jvm.ti.deallocated(), c.released) << c.function;
    EXPECT_EQ(jvm.ti.outstanding(), 0u) << c.function;
    EXPECT_EQ(jvm.jni.count("GetFieldID"), 0u) << c.function;
    EXPECT_EQ(jvm.live_locals, 0) << c.function;
  }
}

// Root of class A extends B: A { C a; int n; C[] arr; static Object s; }, B { Object b; }; both a and b
// hold the same C { int c1; Object c2; }.
struct Graph : AgentJvm {
  jfieldID a = field("A", "a", "LC;");
  jfieldID n = field("A", "n", "I");
  jfieldID arr = field("A", "arr", "[LC;");
  jfieldID s = field("A", "s", "Ljava/lang/Object;", true);
  jfieldID b = field("B", "b", "Ljava/lang/Object;");
  jfieldID c1 = field("C", "c1", "I");
  jfieldID c2 = field("C", "c2", "Ljava/lang/Object;");
  jfieldID s1 = field("S", "s1", "I");
  jobject root = object("A");
  jobject c = object("C");
  jobject st = object("S");

  Graph() {
    superclass["A"] = "B";
    values[{root, a}] = c;
    values[{root, arr}] = jni.handle();
    statics[s] = st;
    values[{root, b}] = c;
  }
};

TEST(Pellandor, StoredObjectIsWalkedDepthFirstUpItsClassesAndAgainWhereSharedButNotIntoStaticsOrArrays) {
  Graph jvm;
  ASSERT_EQ(jvm.load(), JNI_OK);
  // No test and no watched thread: the walk still happens.
  EXPECT_EQ(capture([&] { jvm.store(jvm.root); }).out, "");
  // The static s is watched but not read, so S is never reached; c is walked
  // once through a and again through b, its watches then duplicates.
  EXPECT_EQ(jvm.watched,
            (Calls{"modify A.a", "access A.a", "modify C.c1", "access C.c1", "modify C.c2", "access C.c2", "modify A.n",
                   "access A.n", "modify A.arr", "access A.arr", "modify A.s", "access A.s", "modify B.b", "access B.b",
                   "modify C.c1", "access C.c1", "modify C.c2", "access C.c2"}));
  EXPECT_EQ(jvm.read, (Calls{"a", "c2", "b", "c2"}));
  EXPECT_EQ(jvm.ti.count("GetClassFields"), 4u);
  // A field's signature goes when the walk of its value has returned: a's
  // ("LC;") and b's (the last "Ljava/lang/Object;") after C's fields.
  EXPECT_EQ(jvm.ti.deallocated(),
            (Calls{"I", "Ljava/lang/Object;", "fields of C", "LC;", "I", "[LC;", "Ljava/lang/Object;", "fields of A",
                   "I", "Ljava/lang/Object;", "fields of C", "Ljava/lang/Object;", "fields of B"}));
  EXPECT_EQ(jvm.live_locals, 0);
  EXPECT_EQ(jvm.live_globals, 0);
}

TEST(Pellandor, AWatchErrorEndsTheWalkAndAClassFieldsErrorOnlyThatObject) {
  {
    Graph jvm;
    ASSERT_EQ(jvm.load(), JNI_OK);
    jvm.fail["SetFieldModificationWatch"] = JVMTI_ERROR_INVALID_FIELDID;
    jvm.fail_at["SetFieldModificationWatch"] = 2;  // C.c1, one object down
    EXPECT_EQ(capture([&] { jvm.store(jvm.root); }).out, "Failed to set field modification, error: 25\n");
    EXPECT_EQ(jvm.watched, (Calls{"modify A.a", "access A.a", "modify C.c1"}));
    EXPECT_EQ(jvm.live_globals, 0);
  }
  {
    Graph jvm;
    ASSERT_EQ(jvm.load(), JNI_OK);
    jvm.fail["SetFieldAccessWatch"] = JVMTI_ERROR_INVALID_FIELDID;
    jvm.fail_at["SetFieldAccessWatch"] = 4;  // A.n
    EXPECT_EQ(capture([&] { jvm.store(jvm.root); }).out, "Failed to set field access, error: 25\n");
    EXPECT_EQ(jvm.watched.back(), "access A.n");
    EXPECT_EQ(jvm.read, (Calls{"a", "c2"}));
  }
  {
    Graph jvm;
    ASSERT_EQ(jvm.load(), JNI_OK);
    jvm.fail["GetClassFields"] = JVMTI_ERROR_CLASS_NOT_PREPARED;
    jvm.fail_at["GetClassFields"] = 2;  // of c's class: the walk goes on with A.n
    EXPECT_EQ(capture([&] { jvm.store(jvm.root); }).out, "Failed to get class fields, error: 22\n");
    EXPECT_EQ(jvm.read, (Calls{"a", "b", "c2"}));
    EXPECT_EQ(jvm.watched.size(), 14u) << "C's fields only when c is reached again";
    EXPECT_EQ(jvm.live_globals, 0);
  }
}

TEST(Pellandor, ACycleEndsWithEachObjectWalkedOnceAndEveryTagGivenTakenOff) {
  AgentJvm jvm;
  jfieldID next = jvm.field("N", "next", "LN;");
  jfieldID self = jvm.field("N", "self", "LN;");
  jobject p = jvm.object("N");
  jobject q = jvm.object("N");
  jvm.values[{p, next}] = q;
  jvm.values[{q, next}] = p;
  jvm.values[{p, self}] = p;
  const std::map<jobject, jlong> untagged{{p, 0}, {q, 0}};
  ASSERT_EQ(jvm.load(), JNI_OK);
  jvm.store(p);
  EXPECT_EQ(jvm.read, (Calls{"next", "next", "self", "self"}));
  EXPECT_EQ(jvm.ti.count("GetClassFields"), 2u);
  EXPECT_EQ(jvm.ti.count("SetTag"), 4u) << "given on entering the path, taken off on leaving it";
  EXPECT_EQ(jvm.ti.tags(), untagged);

  // A second walk meets them anew. q's tag, as another thread's walk would
  // have left it for the while, guards the cycle the same and stays q's.
  jvm.ti.env()->SetTag(q, 77);
  jvm.read.clear();
  jvm.ti.clear_calls();
  jvm.store(q);
  EXPECT_EQ(jvm.read, (Calls{"next", "next", "self", "self"}));
  EXPECT_EQ(jvm.ti.count("SetTag"), 2u);
  EXPECT_EQ(jvm.ti.tags(), (std::map<jobject, jlong>{{p, 0}, {q, 77}}));
  EXPECT_EQ(jvm.live_globals, 0);

  // An object that cannot be held is not entered, and keeps no tag.
  jvm.ti.env()->SetTag(q, 0);
  FAKE_JNI_ON(jvm.jni, NewGlobalRef, [&](jobject ref) {
    if (ref == q) return static_cast<jobject>(nullptr);
    ++jvm.live_globals;
    return ref;
  });
  jvm.read.clear();
  jvm.store(p);
  EXPECT_EQ(jvm.read, (Calls{"next", "self"}));
  EXPECT_EQ(jvm.ti.tags(), untagged);
  EXPECT_EQ(jvm.live_globals, 0);
}

TEST(Pellandor, ALongChainNeedsNeitherDeepStackNorManyLocalReferences) {
  AgentJvm jvm;
  jfieldID next = jvm.field("N", "next", "LN;");
  const int length = 100000;
  std::vector<jobject> chain;
  chain.reserve(length);
  for (int i = 0; i < length; ++i) chain.push_back(jvm.object("N"));
  for (int i = 0; i + 1 < length; ++i) jvm.values[{chain[i], next}] = chain[i + 1];
  ASSERT_EQ(jvm.load(), JNI_OK);
  EXPECT_EQ(capture([&] { jvm.store(chain[0]); }).out, "");
  EXPECT_EQ(jvm.read.size(), static_cast<size_t>(length));
  EXPECT_LE(jvm.max_live_locals, 3);
  EXPECT_EQ(jvm.live_locals, 0);
  EXPECT_EQ(jvm.live_globals, 0);
}

}  // namespace
