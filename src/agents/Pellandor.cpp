// Field watch agent and, in the same image, the JNI library of the Java class
// Pellandor.
//
// Loaded with the agent option, Agent_OnLoad keeps the JVM TI environment and
// turns on field access and modification events for every thread. When the
// Java class then loads this library by name, the dynamic loader hands it the
// image already mapped for the agent, so its natives find that environment.
// The natives choose the watched field and thread and the test object; each
// event on the watched thread while a test runs prints one line and sets the
// test object's flag field for it. Storing an object into an object-typed
// field watches every field of that object's graph, on whatever thread.
//
// Lines go to stdout, unbuffered once the agent is loaded, so that a line is
// out as soon as its event is. No lock: the state is plain pointers that the
// natives write and the callbacks read.

#include <jni.h>
#include <jvmti.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

jvmtiEnv* jvmti = nullptr;
// Global references; watched_thread is replaced, never deleted, so that a
// callback still comparing against the earlier one is not left with a dead
// reference.
std::atomic<jobject> watched_thread{nullptr};
std::atomic<jobject> test_object{nullptr};
std::atomic<jclass> test_class{nullptr};

// Object tags mark the objects on a walk's path. A walk takes a tag off
// again when its object leaves the path, so that a tag outlives no walk.
std::atomic<jlong> next_tag{1};

constexpr jint kStatic = 0x0008;  // java.lang.reflect.Modifier.STATIC

void fail(const char* text, int code) { printf("%s, error: %d\n", text, code); }

// A string the tool interface allocated, released when the holder goes.
struct JvmtiText {
  char* text = nullptr;
  JvmtiText() = default;
  JvmtiText(const JvmtiText&) = delete;
  JvmtiText& operator=(const JvmtiText&) = delete;
  ~JvmtiText() {
    if (text != nullptr) jvmti->Deallocate(reinterpret_cast<unsigned char*>(text));
  }
  // Deallocate whether or not a string came back: a null one is ignored.
  void release() {
    jvmti->Deallocate(reinterpret_cast<unsigned char*>(text));
    text = nullptr;
  }
};

void handle_field_event(JNIEnv* env, jthread thread, jmethodID method, jfieldID field, jclass field_klass,
                        bool modified, int location) {
  if (test_object.load() == nullptr) return;
  if (!env->IsSameObject(thread, watched_thread.load())) return;

  // Declared so that a failed lookup releases what came back in the order
  // class signature, method name, generic signature, field name.
  JvmtiText field_name, generic, method_name, class_signature;
  jvmtiError err = jvmti->GetFieldName(field_klass, field, &field_name.text, nullptr, nullptr);
  if (err != JVMTI_ERROR_NONE) return fail("GetFieldName failed", err);
  err = jvmti->GetMethodName(method, &method_name.text, nullptr, &generic.text);
  if (err != JVMTI_ERROR_NONE) return fail("GetMethodName failed", err);
  jclass declaring = nullptr;
  err = jvmti->GetMethodDeclaringClass(method, &declaring);
  if (err != JVMTI_ERROR_NONE) return fail("GetMethodDeclaringClass failed", err);
  err = jvmti->GetClassSignature(declaring, &class_signature.text, nullptr);
  env->DeleteLocalRef(declaring);
  if (err != JVMTI_ERROR_NONE) return fail("GetClassSignature failed", err);

  // Most methods have no generic signature; say so as glibc would.
  printf("\"class: %s method: %s%s\" %s field: \"%s\", location: %d\n", class_signature.text, method_name.text,
         generic.text != nullptr ? generic.text : "(null)", modified ? "modified" : "accessed", field_name.text,
         location);

  jobject object = test_object.load();
  jclass klass = test_class.load();
  if (object != nullptr && klass != nullptr) {
    const size_t size = strlen(field_name.text) + 16;
    char* flag = static_cast<char*>(malloc(size));
    if (flag != nullptr) {
      snprintf(flag, size, "%s%s", field_name.text, modified ? "_modify" : "_access");
      jfieldID id = env->GetFieldID(klass, flag, "Z");
      if (id != nullptr) env->SetBooleanField(object, id, JNI_TRUE);
      free(flag);
    }
    // A test object without the flag field leaves NoSuchFieldError pending.
    env->ExceptionClear();
  }
  // All four, in this order, the generic signature even when there is none.
  class_signature.release();
  method_name.release();
  generic.release();
  field_name.release();
}

// Tags of the objects on the walk's current path: open addressing over
// non-zero tags, with linear probing.
struct TagSet {
  jlong* slots = nullptr;
  size_t capacity = 0;
  size_t count = 0;

  // False when tag was there already, or could not be recorded.
  bool insert(jlong tag) {
    if ((count + 1) * 2 > capacity && !grow()) return false;
    for (size_t i = home(tag);; i = next(i)) {
      if (slots[i] == tag) return false;
      if (slots[i] == 0) {
        slots[i] = tag;
        ++count;
        return true;
      }
    }
  }

  // Moves each later entry of the probe run back into the gap it may fill, so
  // that every remaining tag stays reachable from its home slot.
  void erase(jlong tag) {
    if (capacity == 0) return;
    size_t gap = home(tag);
    while (slots[gap] != tag) {
      if (slots[gap] == 0) return;
      gap = next(gap);
    }
    slots[gap] = 0;
    --count;
    for (size_t i = next(gap); slots[i] != 0; i = next(i)) {
      // The entry at i may move to the gap unless its home lies cyclically
      // in (gap, i].
      const size_t from_home = (i - home(slots[i])) & (capacity - 1);
      const size_t from_gap = (i - gap) & (capacity - 1);
      if (from_home >= from_gap) {
        slots[gap] = slots[i];
        slots[i] = 0;
        gap = i;
      }
    }
  }

  size_t home(jlong tag) const { return static_cast<size_t>(tag) & (capacity - 1); }
  size_t next(size_t i) const { return (i + 1) & (capacity - 1); }

  bool grow() {
    const size_t bigger = capacity == 0 ? 64 : capacity * 2;
    jlong* fresh = static_cast<jlong*>(calloc(bigger, sizeof(jlong)));
    if (fresh == nullptr) return false;
    for (size_t i = 0; i < capacity; ++i) {
      if (slots[i] == 0) continue;
      size_t j = static_cast<size_t>(slots[i]) & (bigger - 1);  // home() in the bigger table
      while (fresh[j] != 0) j = (j + 1) & (bigger - 1);
      fresh[j] = slots[i];
    }
    free(slots);
    slots = fresh;
    capacity = bigger;
    return true;
  }
};

// One object of the walk, at the class level being watched. The references
// are global so that a deep walk holds no more than a few local ones.
struct Frame {
  jobject object;
  jlong tag;
  bool tagged;  // this walk gave the tag, and takes it off on leaving
  jclass klass;
  bool listed;       // GetClassFields done for klass
  jfieldID* fields;  // of klass, from GetClassFields
  jint count;
  jint next;
  // The signature of the field whose value is walked above this frame: a
  // recursion would release it when that walk returns, and so does pop().
  char* signature;
};

// Depth first, as a recursion over object-typed fields would go, but on a
// stack in the C heap: a chain of many thousand objects must not exhaust the
// native stack. An object reached again through another field is walked
// again, as the recursion would; only an object already on the current path
// (a cycle) is not entered a second time.
class Walk {
 public:
  explicit Walk(JNIEnv* env) : env_(env) {}
  Walk(const Walk&) = delete;
  Walk& operator=(const Walk&) = delete;
  ~Walk() {
    while (depth_ > 0) pop();
    free(frames_);
    free(path_.slots);
  }

  void run(jobject root) {
    if (!push(root)) return;
    while (depth_ > 0) {
      Frame& top = frames_[depth_ - 1];
      if (top.klass == nullptr) {
        pop();
      } else if (!top.listed) {
        const jvmtiError err = jvmti->GetClassFields(top.klass, &top.count, &top.fields);
        if (err != JVMTI_ERROR_NONE) {
          top.fields = nullptr;
          fail("Failed to get class fields", err);
          pop();
        } else {
          top.listed = true;
        }
      } else if (top.next == top.count) {
        up_to_superclass(top);
      } else if (!watch_field(depth_ - 1, top.fields[top.next++])) {
        return;
      }
    }
  }

 private:
  // Watches one field and follows its value; false ends the walk. Only the
  // object's own (instance) fields are followed: a static field's value
  // belongs to no object of the walk, and following statics would wander
  // into the JDK's own classes.
  bool watch_field(size_t at, jfieldID field) {
    const Frame& frame = frames_[at];
    jvmtiError err = jvmti->SetFieldModificationWatch(frame.klass, field);
    if (err != JVMTI_ERROR_NONE && err != JVMTI_ERROR_DUPLICATE) {
      fail("Failed to set field modification", err);
      return false;
    }
    err = jvmti->SetFieldAccessWatch(frame.klass, field);
    if (err != JVMTI_ERROR_NONE && err != JVMTI_ERROR_DUPLICATE) {
      fail("Failed to set field access", err);
      return false;
    }
    JvmtiText signature;
    jvmti->GetFieldName(frame.klass, field, nullptr, &signature.text, nullptr);
    // Arrays ('[') are not followed.
    if (signature.text == nullptr || signature.text[0] != 'L') return true;
    jint modifiers = 0;
    if (jvmti->GetFieldModifiers(frame.klass, field, &modifiers) != JVMTI_ERROR_NONE) return true;
    if ((modifiers & kStatic) != 0) return true;
    jobject value = env_->GetObjectField(frame.object, field);
    // frame may move when the stack grows: frames_[at] below.
    const bool entered = value != nullptr && push(value);
    env_->DeleteLocalRef(value);
    if (entered) {
      frames_[at].signature = signature.text;
      signature.text = nullptr;
    }
    return true;
  }

  // The object's tag; an untagged object gets a fresh one (tagged set).
  // 0 if it can be neither read nor given.
  static jlong tag_of(jobject object, bool& tagged) {
    tagged = false;
    jlong tag = 0;
    if (jvmti->GetTag(object, &tag) != JVMTI_ERROR_NONE) return 0;
    // A tag already there is this walk's (a cycle, which the path catches)
    // or another thread's walk's, which that walk takes off.
    if (tag != 0) return tag;
    tag = next_tag.fetch_add(1);
    if (jvmti->SetTag(object, tag) != JVMTI_ERROR_NONE) return 0;
    tagged = true;
    return tag;
  }

  static void untag(jobject object, bool tagged) {
    if (tagged) jvmti->SetTag(object, 0);
  }

  // Enters object unless it is already on the path (or cannot be tracked).
  bool push(jobject object) {
    bool tagged = false;
    const jlong tag = tag_of(object, tagged);
    if (tag == 0) return false;
    if (!path_.insert(tag)) {
      untag(object, tagged);
      return false;
    }
    if (depth_ == capacity_) {
      const size_t bigger = capacity_ == 0 ? 64 : capacity_ * 2;
      Frame* moved = static_cast<Frame*>(realloc(frames_, bigger * sizeof(Frame)));
      if (moved == nullptr) {
        path_.erase(tag);
        untag(object, tagged);
        return false;
      }
      frames_ = moved;
      capacity_ = bigger;
    }
    jobject global = env_->NewGlobalRef(object);
    if (global == nullptr) {
      path_.erase(tag);
      untag(object, tagged);
      return false;
    }
    jclass klass = env_->GetObjectClass(object);
    Frame& frame = frames_[depth_++];
    frame.object = global;
    frame.tag = tag;
    frame.tagged = tagged;
    frame.klass = static_cast<jclass>(env_->NewGlobalRef(klass));
    frame.listed = false;
    frame.fields = nullptr;
    frame.count = 0;
    frame.next = 0;
    frame.signature = nullptr;
    env_->DeleteLocalRef(klass);
    return true;
  }

  void up_to_superclass(Frame& frame) {
    release_fields(frame);
    jclass super = env_->GetSuperclass(frame.klass);
    env_->DeleteGlobalRef(frame.klass);
    frame.klass = super != nullptr ? static_cast<jclass>(env_->NewGlobalRef(super)) : nullptr;
    env_->DeleteLocalRef(super);
  }

  static void release_fields(Frame& frame) {
    if (frame.fields != nullptr) jvmti->Deallocate(reinterpret_cast<unsigned char*>(frame.fields));
    frame.listed = false;
    frame.fields = nullptr;
    frame.count = 0;
    frame.next = 0;
  }

  void pop() {
    Frame& frame = frames_[--depth_];
    release_fields(frame);
    if (frame.klass != nullptr) env_->DeleteGlobalRef(frame.klass);
    untag(frame.object, frame.tagged);
    env_->DeleteGlobalRef(frame.object);
    path_.erase(frame.tag);
    if (depth_ > 0) {
      // The walk of the field's value below has returned.
      Frame& below = frames_[depth_ - 1];
      if (below.signature != nullptr) jvmti->Deallocate(reinterpret_cast<unsigned char*>(below.signature));
      below.signature = nullptr;
    }
  }

  JNIEnv* env_;
  Frame* frames_ = nullptr;
  size_t depth_ = 0;
  size_t capacity_ = 0;
  TagSet path_;
};

void watch_object_fields(JNIEnv* env, jobject object) {
  if (object == nullptr) return;
  Walk walk(env);
  walk.run(object);
}

void JNICALL on_field_access(jvmtiEnv*, JNIEnv* env, jthread thread, jmethodID method, jlocation location,
                             jclass field_klass, jobject, jfieldID field) {
  handle_field_event(env, thread, method, field, field_klass, false, static_cast<int>(location));
}

void JNICALL on_field_modification(jvmtiEnv*, JNIEnv* env, jthread thread, jmethodID method, jlocation location,
                                   jclass field_klass, jobject, jfieldID field, char signature_type, jvalue new_value) {
  handle_field_event(env, thread, method, field, field_klass, true, static_cast<int>(location));
  // Follows the stored object even while no test runs, on any thread.
  if (signature_type == 'L') watch_object_fields(env, new_value.l);
}

}  // namespace

extern "C" {

// Agent entry: -agentpath:<dir>/libPellandor.so
JNIEXPORT jint JNICALL Agent_OnLoad(JavaVM* vm, char*, void*) {
  jvmtiEnv* env = nullptr;
  const jint res = vm->GetEnv(reinterpret_cast<void**>(&env), JVMTI_VERSION_1_1);
  jvmti = env;
  if (res != JNI_OK || env == nullptr) {
    fail("GetEnv failed", res);
    return JNI_ERR;
  }

  jvmtiCapabilities caps;
  memset(&caps, 0, sizeof(caps));
  caps.can_tag_objects = 1;
  caps.can_generate_field_modification_events = 1;
  caps.can_generate_field_access_events = 1;
  jvmtiError err = jvmti->AddCapabilities(&caps);
  if (err != JVMTI_ERROR_NONE) {
    fail("Failed to set capabilities", err);
    return JNI_ERR;
  }

  jvmtiEventCallbacks callbacks;
  memset(&callbacks, 0, sizeof(callbacks));
  callbacks.FieldAccess = on_field_access;
  callbacks.FieldModification = on_field_modification;
  err = jvmti->SetEventCallbacks(&callbacks, static_cast<jint>(sizeof(callbacks)));
  if (err != JVMTI_ERROR_NONE) {
    fail("Failed to set event callbacks", err);
    return JNI_ERR;
  }

  err = jvmti->SetEventNotificationMode(JVMTI_ENABLE, JVMTI_EVENT_FIELD_ACCESS, nullptr);
  if (err != JVMTI_ERROR_NONE) {
    fail("Failed to set access notifications", err);
    return JNI_ERR;
  }
  err = jvmti->SetEventNotificationMode(JVMTI_ENABLE, JVMTI_EVENT_FIELD_MODIFICATION, nullptr);
  if (err != JVMTI_ERROR_NONE) {
    fail("Failed to set modification notifications", err);
    return JNI_ERR;
  }

  setbuf(stdout, nullptr);
  return JNI_OK;
}

// Class: Pellandor  Method: initWatchers  Signature: (Ljava/lang/Class;Ljava/lang/reflect/Field;Ljava/lang/Thread;)Z
JNIEXPORT jboolean JNICALL Java_Pellandor_initWatchers(JNIEnv* env, jclass, jclass klass, jobject field,
                                                       jobject thread) {
  if (jvmti == nullptr) {
    fail("jvmti is NULL", 0);
    return JNI_FALSE;
  }
  // A null Field has no identifier: the watch call then reports the tool
  // interface's own error for it.
  jfieldID id = field != nullptr ? env->FromReflectedField(field) : nullptr;
  jvmtiError err = jvmti->SetFieldModificationWatch(klass, id);
  if (err != JVMTI_ERROR_NONE) {
    fail("SetFieldModificationWatch failed", err);
    return JNI_FALSE;
  }
  err = jvmti->SetFieldAccessWatch(klass, id);
  if (err != JVMTI_ERROR_NONE) {
    fail("SetPellandor failed", err);
    return JNI_FALSE;
  }
  watched_thread.store(env->NewGlobalRef(thread));
  return JNI_TRUE;
}

// Class: Pellandor  Method: startTest  Signature: (Ljava/lang/Object;)Z
JNIEXPORT jboolean JNICALL Java_Pellandor_startTest(JNIEnv* env, jclass, jobject object) {
  // A null object starts no test; whatever test runs goes on.
  if (object == nullptr) return JNI_TRUE;
  jobject global = env->NewGlobalRef(object);
  jclass klass = env->GetObjectClass(global);
  test_class.store(static_cast<jclass>(env->NewGlobalRef(klass)));
  env->DeleteLocalRef(klass);
  // Published last: a non-null test_object is what starts the reporting.
  test_object.store(global);
  return JNI_TRUE;
}

// Class: Pellandor  Method: stopTest  Signature: ()V
JNIEXPORT void JNICALL Java_Pellandor_stopTest(JNIEnv* env, jclass) {
  jobject object = test_object.exchange(nullptr);
  if (object != nullptr) env->DeleteGlobalRef(object);
  jclass klass = test_class.exchange(nullptr);
  if (klass != nullptr) env->DeleteGlobalRef(klass);
}

}  // extern "C"
