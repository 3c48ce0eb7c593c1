// Native half of the LookUp test of critical natives: m1 and m2 each have a
// critical entry and an ordinary JNI entry, and the JVM may bind either.
//
// The critical entry checks, in order, that every argument arrived with its
// expected value and writes the verdict into element 0 of the result array:
// 2 when all matched, 1 otherwise. The ordinary entry does nothing, so the
// result keeps what the caller put there; one byte tells the test which entry
// ran and whether the critical calling convention carried the arguments.
// Floating-point values are compared after truncation toward zero to an
// integer, not as floating-point numbers. Nothing is kept, nothing is called.

#include <jni.h>

namespace {

const jbyte kMatched = 2;
const jbyte kMismatched = 1;

// True if v truncated toward zero is expected. A NaN, an infinity or a value
// beyond the 32-bit range has no truncated form and is never expected; the
// range test comes first because converting it would be undefined.
bool truncates_to(double v, jint expected) {
  return v > -2147483649.0 && v < 2147483648.0 && static_cast<jint>(v) == expected;
}

// The same for 64 bits: -2^63 is the lowest value with a 64-bit form (the
// next double below it is already out of range).
bool truncates_to(double v, jlong expected) {
  return v >= -9223372036854775808.0 && v < 9223372036854775808.0 && static_cast<jlong>(v) == expected;
}

// Element 0 of an array passed as length and elements; an empty or absent
// array fails the test.
template <typename T, typename Pred>
bool first_is(jint length, const T* elements, Pred pred) {
  return length > 0 && elements != NULL && pred(elements[0]);
}

// The verdict goes into element 0, which an empty or absent result array does
// not have: then nothing is written.
void store(jint length, jbyte* result, bool matched) {
  if (length > 0 && result != NULL) result[0] = matched ? kMatched : kMismatched;
}

bool fresh_result(jint length, const jbyte* result) {
  return length == 1 && first_is(length, result, [](jbyte b) { return b == -1; });
}

const jlong kLong = 4444444455555555LL;    // 0xFCA32DCFF51E3
const jlong kDouble = 6666666677777777LL;  // 0x17AF4C4B2A3571
const jint kInt = 12345678;
const jint kFloat = 343434;

}  // namespace

extern "C" {

// Class: compiler.runtime.criticalnatives.lookup.LookUp  Method: m1  Signature: (BJCIFD[B)V
JNIEXPORT void JNICALL JavaCritical_compiler_runtime_criticalnatives_lookup_LookUp_m1(jbyte b, jlong l, jchar c, jint i,
                                                                                      jfloat f, jdouble d,
                                                                                      jint result_length,
                                                                                      jbyte* result) {
  const bool matched = b == 10 && l == kLong && c == 65 && i == kInt && truncates_to(f, kFloat) &&
                       truncates_to(d, kDouble) && fresh_result(result_length, result);
  store(result_length, result, matched);
}

// Class: compiler.runtime.criticalnatives.lookup.LookUp  Method: m2  Signature: (I[IJ[JF[FD[D[B)V
JNIEXPORT void JNICALL JavaCritical_compiler_runtime_criticalnatives_lookup_LookUp_m2(
    jint i, jint ia_length, jint* ia, jlong l, jint la_length, jlong* la, jfloat f, jint fa_length, jfloat* fa,
    jdouble d, jint da_length, jdouble* da, jint result_length, jbyte* result) {
  const bool matched = i == kInt && ia_length == 3 && first_is(ia_length, ia, [](jint v) { return v == 1111; }) &&
                       l == kLong && la_length == 3 && first_is(la_length, la, [](jlong v) { return v == 4444; }) &&
                       truncates_to(f, kFloat) && fa_length == 3 &&
                       first_is(fa_length, fa, [](jfloat v) { return truncates_to(v, jint{7777}); }) &&
                       truncates_to(d, kDouble) && da_length == 3 &&
                       first_is(da_length, da, [](jdouble v) { return truncates_to(v, jlong{4545}); }) &&
                       fresh_result(result_length, result);
  store(result_length, result, matched);
}

// Class: compiler.runtime.criticalnatives.lookup.LookUp  Method: m1  Signature: (BJCIFD[B)V
//
// Empty on purpose, as is m2: an untouched result is how the test sees that
// the ordinary entry ran.
JNIEXPORT void JNICALL Java_compiler_runtime_criticalnatives_lookup_LookUp_m1(JNIEnv*, jclass, jbyte, jlong, jchar,
                                                                              jint, jfloat, jdouble, jbyteArray) {}

// Class: compiler.runtime.criticalnatives.lookup.LookUp  Method: m2  Signature: (I[IJ[JF[FD[D[B)V
JNIEXPORT void JNICALL Java_compiler_runtime_criticalnatives_lookup_LookUp_m2(JNIEnv*, jclass, jint, jintArray, jlong,
                                                                              jlongArray, jfloat, jfloatArray, jdouble,
                                                                              jdoubleArray, jbyteArray) {}

}  // extern "C"
