// The critical entries of LookUp, which no JNI header declares: the unit and
// fuzz tests call them directly, as a JVM that binds critical natives would.
#ifndef ZOLTEST_YARBELLIN_CRITICAL_H
#define ZOLTEST_YARBELLIN_CRITICAL_H

#include <jni.h>

extern "C" {
void JavaCritical_compiler_runtime_criticalnatives_lookup_LookUp_m1(jbyte, jlong, jchar, jint, jfloat, jdouble, jint,
                                                                    jbyte*);
void JavaCritical_compiler_runtime_criticalnatives_lookup_LookUp_m2(jint, jint, jint*, jlong, jint, jlong*, jfloat,
                                                                    jint, jfloat*, jdouble, jint, jdouble*, jint,
                                                                    jbyte*);
}

#endif  // ZOLTEST_YARBELLIN_CRITICAL_H
