// The process-wide record of the hosted runtime, shared by JVM creation and the main-class runner.
#pragma once

#include <windows.h>
#include <jni.h>

namespace stub {

using CreateJavaVmFunction = jint(JNICALL*)(JavaVM**, void**, void*);
using GetDefaultInitArgsFunction = jint(JNICALL*)(void*);

struct JvmHostState {
  HMODULE library = nullptr;
  CreateJavaVmFunction create_java_vm = nullptr;
  GetDefaultInitArgsFunction get_default_init_args = nullptr;  // required, never called
  JavaVM* vm = nullptr;                                        // usable from any thread
  JNIEnv* env = nullptr;                                       // valid only on the creating thread
};

// Complete once CreateJvm has returned true; read-only afterwards.
const JvmHostState& HostState();

}  // namespace stub
