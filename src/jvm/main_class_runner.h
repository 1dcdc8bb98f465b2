// Running the configured main class, and the two ways a service run asks the application to stop,
// through the JNI function table alone: the caller supplies the environment or the virtual machine
// and what the run needs (the directory to publish, the arguments), so that this is tested natively
// against a fake JNI table.
#pragma once

#include <jni.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jvm/jni_guard.h"

namespace stub {

// Asked once everything is ready, just before main is entered: false keeps main from being entered.
using MainGate = bool (*)();

// What running main takes from the configuration, the same for every call of a run.
struct MainSettings {
  const std::string& main_class;       // slash form, UTF-8
  const std::string& app_options;      // AppOptions: the arguments when a call has none
  const std::string& system_out_file;  // SystemOutFile
  const std::string& system_err_file;  // SystemErrFile
  JvmMessages messages;
};

// One call of the main class's main.
struct MainCall {
  std::vector<std::string> arguments;  // UTF-8; empty: the tokens of AppOptions
  std::string user_dir;                // published as "user.dir"
  bool redirect = true;                // apply SystemOutFile and SystemErrFile first
  MainGate may_begin = nullptr;
};

// A static method that takes the arguments: the class in slash form (UTF-8) and the method's name.
struct MethodReference {
  std::string class_name;
  std::string name;
};

// "package.Class.method" split at its last dot, the class in slash form; nullopt when the class or the
// method name would be empty.
std::optional<MethodReference> ParseMethodReference(std::string_view dotted);

// Calls the static void method(String[]) with args on the calling thread, attached to vm for the call
// as a daemon under thread_name (the JVM's teardown does not wait for it) and detached again, which
// also frees every local reference the call made. True when it returned without a pending Java
// exception; every failure has been reported.
[[nodiscard]] bool InvokeArgumentsMethodAsDaemon(JavaVM* vm, jint version, JvmMessages messages, const char* thread_name,
                                                 const MethodReference& method, const std::vector<std::string>& args);

// Publishes user.dir, applies the redirection, finds the class and its main and calls it with the
// arguments on env. True when main returned without a pending Java exception, or when may_begin kept
// it from being entered; every failure has been reported.
[[nodiscard]] bool InvokeMain(JNIEnv* env, const MainSettings& settings, const MainCall& call);

// The same on the calling thread, attached to vm under the stopper name with the given JNI version
// for the call and detached again on every path; reports when it cannot attach.
[[nodiscard]] bool InvokeMainAsStopper(JavaVM* vm, jint version, const MainSettings& settings, const MainCall& call);

// Attaches the calling thread as above and calls System.exit(0); when that succeeds the process ends
// inside the call. False (reported) when the call could not be made or came back with an exception.
[[nodiscard]] bool CallSystemExit(JavaVM* vm, jint version, JvmMessages messages);

}  // namespace stub
