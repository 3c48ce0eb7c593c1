// Native half of zol.share.ReferringObject: keeps an object referenced by
// JNI global, weak global or local references for as long as a test wants.
//
// Global and weak references live in two registries, each a table made by the
// first create call of its kind with that call's count of slots; a create call
// takes the lowest free slot and returns its index, which the Java side later
// hands back to the delete call. The tables never grow and are never freed.
// A local reference cannot outlive its frame, so the local native holds its
// frame open by waiting in Java until the test lets it go.
//
// Complaints name this file and the line of their call, which the suite's logs
// refer to: blank lines keep each call on its line (the unit tests pin them).

#include <jni.h>

#include <cstdlib>

#include "share/native/zol_tools.h"

namespace {

struct Registry {
  jobject* slots;  // null until an allocation succeeded; a null slot is free
  jint size;       // the slots allocated
};

Registry globalReferences = {NULL, 0};
Registry weakReferences = {NULL, 0};
const char kTestBug[] = "zol/share/TestBug";
const char kTestJNIError[] = "zol/share/TestJNIError";
// Defined below the entry points, whose complaints keep their lines.
bool allocate(Registry* registry, jint count);
jint lowest_free_slot(const Registry* registry, jint count);
jobject* taken_slot(const Registry* registry, jint index);
void throw_new(JNIEnv* env, const char* class_name, const char* message);
void signal_and_wait(JNIEnv* env, jobject first, jobject second);

}  // namespace

// clang-format off
extern "C" {

// Class: zol.share.ReferringObject  Method: createJNIGlobalReferenceNative  Signature: (Ljava/lang/Object;I)I
JNIEXPORT jint JNICALL Java_zol_share_ReferringObject_createJNIGlobalReferenceNative(JNIEnv* env, jobject, jobject object, jint count) {
  if (!allocate(&globalReferences, count)) {
    zol_lcomplain(__FILE__, __LINE__, "malloc return NULL\n");
    // No exception: the Java side sees -1, as for a full table.
    return -1;
  }

  // A count that differs from the first call's may not reach past the table.
  const jint index = lowest_free_slot(&globalReferences, count);
  if (index < 0) return -1;

  // A null reference (a null object, or the JVM out of references) leaves the
  // slot free; the caller still gets its index, with the exception pending.
  // The registry holds the reference until the delete call for the index: it
  // is what keeps the object reachable.





  jobject ref = env->NewGlobalRef(object);
  if (ref == NULL) {
    zol_lcomplain(__FILE__, __LINE__, "NewGlobalRef return NULL\n");
    throw_new(env, kTestJNIError, "NewGlobalRef return NULL");
  }
  globalReferences.slots[index] = ref;
  return index;
}













// Class: zol.share.ReferringObject  Method: deleteJNIGlobalReferenceNative  Signature: (I)V
JNIEXPORT void JNICALL Java_zol_share_ReferringObject_deleteJNIGlobalReferenceNative(JNIEnv* env, jobject, jint index) {
  // An index outside the table, or any index before the first create call,
  // is a wrong index like that of a free slot: nothing outside the table is
  // read, and the reference deleted is null.
  jobject* slot = taken_slot(&globalReferences, index);
  if (slot == NULL) {
    zol_lcomplain(__FILE__, __LINE__, "globalReferences[%d] = NULL, possible wrong index is passed\n", static_cast<int>(index));
    throw_new(env, kTestBug, "Requested globalReferences[] element is NULL, possible wrong index is passed");
  }
  // Allowed with an exception pending, and a no-op for null.
  env->DeleteGlobalRef(slot != NULL ? *slot : NULL);
  if (slot != NULL) *slot = NULL;
}









// Class: zol.share.ReferringObject  Method: createJNILocalReferenceNative  Signature: (Ljava/lang/Object;Ljava/lang/Object;Ljava/lang/Object;)V
JNIEXPORT void JNICALL Java_zol_share_ReferringObject_createJNILocalReferenceNative(JNIEnv* env, jobject, jobject object, jobject first, jobject second) {
  // Never used and never deleted: while this frame is open, the local
  // reference keeps the object reachable; the JVM frees it when the call
  // returns.
  if (env->NewLocalRef(object) == NULL) {
    zol_lcomplain(__FILE__, __LINE__, "NewLocalRef return NULL\n");
    throw_new(env, kTestJNIError, "NewLocalRef return NULL");
    return;
  }

  signal_and_wait(env, first, second);
}





















// Class: zol.share.ReferringObject  Method: createJNIWeakReferenceNative  Signature: (Ljava/lang/Object;I)I
JNIEXPORT jint JNICALL Java_zol_share_ReferringObject_createJNIWeakReferenceNative(JNIEnv* env, jobject, jobject object, jint count) {
  if (!allocate(&weakReferences, count)) {
    zol_lcomplain(__FILE__, __LINE__, "malloc return NULL\n");
    // No exception: the Java side sees -1, as for a full table.
    return -1;
  }

  // A count that differs from the first call's may not reach past the table.
  const jint index = lowest_free_slot(&weakReferences, count);
  if (index < 0) return -1;

  // A null reference (a null object, or the JVM out of references) leaves the
  // slot free; the caller still gets its index, with the exception pending.
  // The weak reference does not keep the object reachable: the test watches
  // it being collected.






  jweak ref = env->NewWeakGlobalRef(object);
  if (ref == NULL) {
    zol_lcomplain(__FILE__, __LINE__, "NewWeakGlobalRef return NULL\n");
    throw_new(env, kTestJNIError, "NewWeakGlobalRef return NULL");
  }
  weakReferences.slots[index] = ref;
  return index;
}













// Class: zol.share.ReferringObject  Method: deleteJNIWeakReferenceNative  Signature: (I)V
JNIEXPORT void JNICALL Java_zol_share_ReferringObject_deleteJNIWeakReferenceNative(JNIEnv* env, jobject, jint index) {
  // An index outside the table, or any index before the first create call,
  // is a wrong index like that of a free slot: nothing outside the table is
  // read, and nothing is deleted.
  jobject* slot = taken_slot(&weakReferences, index);
  if (slot == NULL) {
    zol_lcomplain(__FILE__, __LINE__, "weakReferences[%d] = NULL, possible wrong index is passed\n", static_cast<int>(index));
    // The throw is the last call: nothing more may follow a pending exception.
    throw_new(env, kTestBug, "Requested weakReferences[] element is NULL, possible wrong index is passed");
    return;
  }

  // A collected referent is a test bug of the Java side, but the reference is
  // still deleted and the slot freed.
  if (env->IsSameObject(*slot, NULL) == JNI_TRUE) {
    zol_lcomplain(__FILE__, __LINE__, "TEST BUG: Weak reference was collected\n");
    throw_new(env, kTestBug, "TEST BUG: Weak reference was collected");
  }
  // Allowed with an exception pending.
  env->DeleteWeakGlobalRef(*slot);
  *slot = NULL;
}

}  // extern "C"
// clang-format on

namespace {

// Makes the table on the first call that succeeds; after a failed malloc the
// registry stays absent and the next call tries again.
bool allocate(Registry* registry, jint count) {
  if (registry->slots != NULL) return true;
  // A negative count cannot be allocated: treated as a failed malloc.
  if (count < 0) return false;
  // NOLINTNEXTLINE(bugprone-sizeof-expression): a slot holds a JNI reference, a pointer
  jobject* slots = static_cast<jobject*>(malloc(static_cast<size_t>(count) * sizeof(jobject)));
  if (slots == NULL) return false;
  for (jint i = 0; i < count; i++) slots[i] = NULL;
  registry->slots = slots;
  registry->size = count;
  return true;
}

// The lowest free slot below both count and the table's size, or -1.
jint lowest_free_slot(const Registry* registry, jint count) {
  const jint limit = count < registry->size ? count : registry->size;
  for (jint i = 0; i < limit; i++) {
    if (registry->slots[i] == NULL) return i;
  }
  return -1;
}

// The slot at index if it lies in the table and holds a reference, else null.
jobject* taken_slot(const Registry* registry, jint index) {
  if (registry->slots == NULL || index < 0 || index >= registry->size) return NULL;
  jobject* slot = &registry->slots[index];
  return *slot != NULL ? slot : NULL;
}

// ThrowNew of class_name. Leaves an exception that is already pending, or the
// NoClassDefFoundError of a class that cannot be found, to the Java caller:
// no second throw may follow a pending one.
void throw_new(JNIEnv* env, const char* class_name, const char* message) {
  if (env->ExceptionCheck()) return;
  jclass c = env->FindClass(class_name);
  if (c == NULL) return;  // exception thrown: NoClassDefFoundError
  env->ThrowNew(c, message);
}

const char kNullPointer[] = "java/lang/NullPointerException";

// Whether method, found in klass, may be called on receiver: it may for an
// instance of the class that declares the method, which is klass or one of
// its supertypes when the method is inherited.
bool may_receive(JNIEnv* env, jclass klass, jmethodID method, jobject receiver) {
  if (env->IsInstanceOf(receiver, klass)) return true;
  jobject reflected = env->ToReflectedMethod(klass, method, JNI_FALSE);
  if (reflected == NULL) return false;  // exception thrown
  jclass reflectedClass = env->GetObjectClass(reflected);
  jmethodID getDeclaringClass = env->GetMethodID(reflectedClass, "getDeclaringClass", "()Ljava/lang/Class;");
  if (getDeclaringClass == NULL) return false;  // exception thrown: NoSuchMethodError
  jobject declaring = env->CallObjectMethod(reflected, getDeclaringClass);
  if (env->ExceptionCheck()) return false;  // exception thrown by getDeclaringClass
  return declaring != NULL && env->IsInstanceOf(receiver, static_cast<jclass>(declaring));
}

// unlock on first tells the Java side that the local reference exists;
// waitFor, found in first's class, then holds this frame open on second
// until the Java side lets the reference go. An exception from unlock waits
// until waitFor has returned, so the reference lives as long as the Java side
// expects; an exception that waitFor leaves takes its place.
void signal_and_wait(JNIEnv* env, jobject first, jobject second) {
  if (first == NULL) {
    throw_new(env, kNullPointer, "createJNILocalReferenceNative: the first signal object is null");
    return;
  }
  jclass signal = env->GetObjectClass(first);
  jmethodID unlock = env->GetMethodID(signal, "unlock", "()V");
  if (unlock == NULL) return;  // exception thrown: NoSuchMethodError
  env->CallVoidMethod(first, unlock);
  jthrowable unlocked = env->ExceptionOccurred();
  if (unlocked != NULL) env->ExceptionClear();

  if (second == NULL) {
    throw_new(env, kNullPointer, "createJNILocalReferenceNative: the second signal object is null");
    return;
  }
  jmethodID waitFor = env->GetMethodID(signal, "waitFor", "()V");
  if (waitFor == NULL) return;  // exception thrown: NoSuchMethodError
  if (!may_receive(env, signal, waitFor, second)) {
    // Calling it would be undefined: the object has no such method.
    throw_new(env, kTestBug,
              "createJNILocalReferenceNative: waitFor of the first signal object's class does not apply to the second");
    return;
  }
  env->CallVoidMethod(second, waitFor);
  if (unlocked != NULL && !env->ExceptionCheck()) env->Throw(unlocked);
}

}  // namespace
