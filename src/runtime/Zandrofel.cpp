// Native half of the Java class Zandrofel (unnamed package): parks an object
// behind a JNI global or weak global reference held here, and hands that same
// reference back to Java later, so a test can watch what the JVM makes of it.
//
// A make call overwrites its slot without deleting the reference that was
// there: every global reference made keeps its object reachable for good, and
// every weak one stays allocated. No result is checked; a null reference is
// saved and returned like any other.

#include <jni.h>

#include <atomic>

namespace {

// Read and written whole, so a read racing a make on another thread gets
// either the earlier or the new reference.
std::atomic<jobject> savedGlobalRef{nullptr};
std::atomic<jweak> savedWeakGlobalRef{nullptr};

}  // namespace

extern "C" {

// Class: Zandrofel  Method: makeGlobalRef  Signature: (Ljava/lang/Object;)Ljava/lang/Object;
JNIEXPORT jobject JNICALL Java_Zandrofel_makeGlobalRef(JNIEnv* env, jclass, jobject object) {
  jobject ref = env->NewGlobalRef(object);
  savedGlobalRef.store(ref, std::memory_order_relaxed);
  return ref;
}

// Class: Zandrofel  Method: makeWeakGlobalRef  Signature: (Ljava/lang/Object;)Ljava/lang/Object;
JNIEXPORT jobject JNICALL Java_Zandrofel_makeWeakGlobalRef(JNIEnv* env, jclass, jobject object) {
  jweak ref = env->NewWeakGlobalRef(object);
  savedWeakGlobalRef.store(ref, std::memory_order_relaxed);
  return ref;
}

// Class: Zandrofel  Method: readGlobalRef  Signature: ()Ljava/lang/Object;
JNIEXPORT jobject JNICALL Java_Zandrofel_readGlobalRef(JNIEnv*, jclass) {
  return savedGlobalRef.load(std::memory_order_relaxed);
}

// Class: Zandrofel  Method: readWeakGlobalRef  Signature: ()Ljava/lang/Object;
JNIEXPORT jobject JNICALL Java_Zandrofel_readWeakGlobalRef(JNIEnv*, jclass) {
  // The JVM gives the caller null once the referent has been collected.
  return savedWeakGlobalRef.load(std::memory_order_relaxed);
}

}  // extern "C"
