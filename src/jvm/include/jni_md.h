/*
 * Machine-dependent JNI types for 64-bit Windows. The JDK installed on the build machine is a Linux
 * one, and its jni_md.h declares the Linux types and calling convention; this directory sits ahead of
 * the JDK's include directories so that jni.h picks up these definitions instead.
 */
#ifndef STUB_WINDOWS_JNI_MD_H_
#define STUB_WINDOWS_JNI_MD_H_

#ifndef JNIEXPORT
#define JNIEXPORT __declspec(dllexport)
#endif
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

typedef long jint;
typedef long long jlong;
typedef signed char jbyte;

#endif  // STUB_WINDOWS_JNI_MD_H_
