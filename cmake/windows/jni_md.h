/* The Windows machine-dependent JNI types and linkage, for builds on a host
 * whose JDK carries only its own platform's jni_md.h (a cross build). A build
 * on Windows uses its JDK's include/win32 instead. */
#ifndef _JAVASOFT_JNI_MD_H_
#define _JAVASOFT_JNI_MD_H_

#define JNIEXPORT __declspec(dllexport)
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

typedef long jint;
typedef __int64 jlong;
typedef signed char jbyte;

#endif /* !_JAVASOFT_JNI_MD_H_ */
