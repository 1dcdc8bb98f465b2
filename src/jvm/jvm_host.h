// Hosting the Java virtual machine in the launcher's own process: choosing and loading jvm.dll,
// creating the virtual machine with the assembled options, running the main class in it, the stop
// requests of a service run, and taking it all down again.
#pragma once

#include <jni.h>

#include <string>
#include <vector>

#include "jvm/main_class_runner.h"
#include "runtime/runtime_discovery.h"

namespace stub {

// What hosting the JVM takes from the configuration, from the runtime search to the call of main.
struct JvmSettings {
  RuntimeSettings runtime;
  const std::string& jvm_options;          // JvmOptions, after the INI override
  const std::string& class_path;           // ClassPath
  const std::string& working_directory;    // WorkingDirectory; empty: stay where the launcher is
  // The directory the launcher was started from, when the application runs there (UseCallerDirectory):
  // it then takes WorkingDirectory's place as the current directory and user.dir of main. Empty: the
  // application runs in WorkingDirectory (or the launcher's folder).
  const std::string& caller_directory;
  bool change_directory_before_jvm;        // ChangeDirectoryBeforeJvm
  const std::string& file_access_message;  // "Error accessing file/directory: %s"
  MainSettings main;
};

// The invocation interface's exit hook: the JVM calls it, on a thread of its own, when System.exit has
// run the application's shutdown hooks; it is expected to end the process.
using JvmExitHook = void(JNICALL*)(jint status);

// Finds and loads the runtime and creates the virtual machine on the calling thread; with a service
// console, also gives the process a console of its own for Java's standard streams. A non-null
// exit_hook is handed to the JVM as the "exit" option, after the configured ones. The settings are
// kept, by reference, for the calls below. Reports every failure; false when no virtual machine exists afterwards.
[[nodiscard]] bool CreateJvm(const JvmSettings& settings, bool with_service_console, JvmExitHook exit_hook = nullptr);

// Calls the main class's static main with args (or, when args is empty, the tokens of AppOptions), on
// the creating thread or, as a stopper, on the calling thread newly attached. True when main returned
// without a pending Java exception, or when may_begin kept it from being entered; every failure has
// been reported.
[[nodiscard]] bool RunMainClass(const std::vector<std::string>& args, bool as_stopper, MainGate may_begin = nullptr);

// Attaches the calling thread and calls System.exit(0); when that succeeds the process ends inside the
// call. False (reported) when the call could not be made or came back with an exception.
[[nodiscard]] bool RequestJvmExit();

// Detaches the calling thread and destroys the virtual machine, which waits for the application's
// non-daemon threads. The runtime stays loaded. Called on the creating thread after the main class
// has run.
void ShutDownJvm();

// Unloads the runtime library. Only once ShutDownJvm has returned and no other thread can still be
// inside the runtime.
void UnloadJvm();

// ShutDownJvm, then UnloadJvm: the teardown of a run in which no other thread calls into the JVM.
void DestroyJvm();

// A whole interactive run: CreateJvm (with the exit hook, when there is one), RunMainClass with the
// arguments, DestroyJvm. True when main returned normally.
[[nodiscard]] bool RunJavaApplication(const JvmSettings& settings, const std::vector<std::string>& args,
                                      JvmExitHook exit_hook = nullptr);

}  // namespace stub
