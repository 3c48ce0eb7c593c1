// Native half of the Rostavel test: the JNI string functions on a String
// whose constructor never ran.
//
// AllocObject makes a String with every field at its default value. The JVM
// must treat it as the empty string: length 0 and no characters. A wrong
// answer ends the process through FatalError, naming the broken expectation;
// a right one returns silently. Nothing is printed and nothing is thrown.

#include <jni.h>

namespace {

// A String instance without a constructor run, or NULL after FatalError
// (which does not return; the NULL only keeps the callers from using it).
jstring allocUninitializedString(JNIEnv* env) {
  jclass cls = env->FindClass("java/lang/String");
  if (cls == NULL) {
    env->FatalError("class String not found");
    return NULL;
  }
  jobject str = env->AllocObject(cls);
  if (str == NULL) {
    env->FatalError("allocated string is NULL");
    return NULL;
  }
  return static_cast<jstring>(str);
}

// The length that function gives the uninitialized string must be 0.
void expectEmptyLength(JNIEnv* env, jsize (JNIEnv::*length)(jstring), const char* message) {
  jstring str = allocUninitializedString(env);
  if (str != NULL && (env->*length)(str) != 0) env->FatalError(message);
}

// The characters get gives for the uninitialized string must be NULL. They
// are released also when NULL, and before the verdict, so that a buffer the
// JVM should not have handed out goes back before the process ends.
template <typename Char>
void expectNoChars(JNIEnv* env, const Char* (JNIEnv::*get)(jstring, jboolean*),
                   void (JNIEnv::*release)(jstring, const Char*), const char* message) {
  jstring str = allocUninitializedString(env);
  if (str == NULL) return;
  const Char* chars = (env->*get)(str, NULL);
  (env->*release)(str, chars);
  if (chars != NULL) env->FatalError(message);
}

}  // namespace

extern "C" {

// Class: Rostavel  Method: lengthTest  Signature: ()V
JNIEXPORT void JNICALL Java_Rostavel_lengthTest(JNIEnv* env, jobject) {
  expectEmptyLength(env, &JNIEnv::GetStringLength, "string length must be 0");
}

// Class: Rostavel  Method: charsTest  Signature: ()V
JNIEXPORT void JNICALL Java_Rostavel_charsTest(JNIEnv* env, jobject) {
  expectNoChars(env, &JNIEnv::GetStringChars, &JNIEnv::ReleaseStringChars, "string chars must be NULL");
}

// Class: Rostavel  Method: utfLengthTest  Signature: ()V
JNIEXPORT void JNICALL Java_Rostavel_utfLengthTest(JNIEnv* env, jobject) {
  expectEmptyLength(env, &JNIEnv::GetStringUTFLength, "string utf length must be 0");
}

// Class: Rostavel  Method: utfCharsTest  Signature: ()V
JNIEXPORT void JNICALL Java_Rostavel_utfCharsTest(JNIEnv* env, jobject) {
  expectNoChars(env, &JNIEnv::GetStringUTFChars, &JNIEnv::ReleaseStringUTFChars, "string utf chars must be NULL");
}

}  // extern "C"
