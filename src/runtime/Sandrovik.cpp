// Native half of the Sandrovik test: class names chosen by the Java test go
// straight to DefineClass or FindClass, so that the test sees the errors the
// JVM raises for them on the JNI path.
//
// The library adds no check and no message of its own: whatever the JVM
// leaves pending reaches the Java caller, together with the null class the
// function returned. The name is converted to modified UTF-8 and otherwise
// passed on unchanged (no slash or dot is translated).

#include <jni.h>

namespace {

// The modified UTF-8 form of a Java string, released when the scope ends.
// A null string gives a null text; so does a failed conversion, which leaves
// an OutOfMemoryError pending (failed()).
class UtfName {
 public:
  UtfName(JNIEnv* env, jstring name)
      : env_(env), name_(name), utf_(name == NULL ? NULL : env->GetStringUTFChars(name, NULL)) {}
  ~UtfName() {
    if (utf_ != NULL) env_->ReleaseStringUTFChars(name_, utf_);
  }
  UtfName(const UtfName&) = delete;
  UtfName& operator=(const UtfName&) = delete;

  const char* get() const { return utf_; }
  bool failed() const { return name_ != NULL && utf_ == NULL; }

 private:
  JNIEnv* env_;
  jstring name_;
  const char* utf_;
};

}  // namespace

extern "C" {

// Class: Sandrovik  Method: callDefineClass  Signature: (Ljava/lang/String;)Ljava/lang/Class;
//
// A definition from no class bytes at all, by the boot loader. A null name
// goes on to DefineClass as null, which the JVM accepts for a class whose
// name comes from its bytes.
JNIEXPORT jclass JNICALL Java_Sandrovik_callDefineClass(JNIEnv* env, jobject, jstring name) {
  UtfName utf(env, name);
  if (utf.failed()) return NULL;  // exception thrown: OutOfMemoryError
  // The JVM has copied the name when DefineClass returns, so the text goes
  // then; a caller looping over these natives does not leak.
  return env->DefineClass(utf.get(), NULL, NULL, 0);
}

// Class: Sandrovik  Method: callFindClass  Signature: (Ljava/lang/String;)Ljava/lang/Class;
JNIEXPORT jclass JNICALL Java_Sandrovik_callFindClass(JNIEnv* env, jobject, jstring name) {
  UtfName utf(env, name);
  if (utf.failed()) return NULL;  // exception thrown: OutOfMemoryError
  return env->FindClass(utf.get());
}

}  // extern "C"
