// Hosting the Java virtual machine in the launcher's own process: loading the chosen jvm.dll,
// creating the virtual machine with the assembled options, and taking it down again.
#pragma once

#include <jni.h>

namespace stub {

// The invocation interface's exit hook: the JVM calls it, on a thread of its own, when System.exit has
// run the application's shutdown hooks; it is expected to end the process.
using JvmExitHook = void(JNICALL*)(jint status);

// Loads the runtime and creates the virtual machine on the calling thread; with a service console,
// also gives the process a console of its own for Java's standard streams. A non-null exit_hook is
// handed to the JVM as the "exit" option, after the configured ones. Reports every failure; false when
// no virtual machine exists afterwards.
bool CreateJvm(bool with_service_console, JvmExitHook exit_hook = nullptr);

// Detaches the calling thread and destroys the virtual machine, which waits for the application's
// non-daemon threads. The runtime stays loaded. Called on the creating thread after the main class
// has run.
void ShutDownJvm();

// Unloads the runtime library. Only once ShutDownJvm has returned and no other thread can still be
// inside the runtime.
void UnloadJvm();

// ShutDownJvm, then UnloadJvm: the teardown of a run in which no other thread calls into the JVM.
void DestroyJvm();

}  // namespace stub
