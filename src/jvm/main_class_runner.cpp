// Running main, and the two stop requests of a service run. A stopper thread attaches under a name of
// its own and is detached again on every path, so that the JVM never counts a thread that has ended.
#include "jvm/main_class_runner.h"

#include "core/reporting.h"
#include "core/text.h"
#include "core/tokenizer.h"
#include "jvm/jni_guard.h"

namespace stub {
namespace {

constexpr char kStopperThreadName[] = "Tarvik stopper thread";
constexpr char kArgumentsSignature[] = "([Ljava/lang/String;)V";

// Attaches the calling thread on construction (as a stopper, or as a daemon under a name of its own)
// and detaches it on destruction.
class AttachedThread {
 public:
  AttachedThread(JavaVM* vm, jint version, JvmMessages messages, const char* daemon_name = nullptr) : vm_(vm) {
    JavaVMAttachArgs args{};
    args.version = version;
    args.name = const_cast<char*>(daemon_name != nullptr ? daemon_name : kStopperThreadName);
    args.group = nullptr;
    void* env = nullptr;
    const auto attach = daemon_name != nullptr ? vm->functions->AttachCurrentThreadAsDaemon
                                               : vm->functions->AttachCurrentThread;
    if (attach(vm, &env, &args) == JNI_OK) env_ = static_cast<JNIEnv*>(env);
    if (env_ == nullptr) ReportError(messages[kUnableToAttach]);
  }
  ~AttachedThread() {
    if (env_ != nullptr) vm_->functions->DetachCurrentThread(vm_);
  }
  AttachedThread(const AttachedThread&) = delete;
  AttachedThread& operator=(const AttachedThread&) = delete;

  JNIEnv* env() const { return env_; }

 private:
  JavaVM* vm_;
  JNIEnv* env_ = nullptr;
};

bool SetJavaSystemProperty(const JniSteps& steps, const char* key, const std::string& value) {
  JNIEnv* env = steps.env;
  const JNINativeInterface_* jni = env->functions;
  jstring key_string = NewJavaString(steps, key);
  if (key_string == nullptr) return false;
  jstring value_string = NewJavaString(steps, value);
  if (value_string == nullptr) return false;
  jclass system_class = FindClassStep(steps, "java/lang/System");
  if (system_class == nullptr) return false;
  jmethodID set_property = MethodStep(steps, system_class, true, "setProperty",
                                      "(Ljava/lang/String;Ljava/lang/String;)Ljava/lang/String;", "setProperty");
  if (set_property == nullptr) return false;
  jni->CallStaticObjectMethod(env, system_class, set_property, key_string, value_string);
  return !StepFailed(steps, false, kErrorInvoking, "setProperty");
}

// "user.dir" and, for the application's own run, the configured stream redirection. The stop
// invocation does not redirect again: opening the files anew would empty what the running
// application has written to them.
bool PrepareJavaEnvironment(const JniSteps& steps, const MainSettings& settings, const MainCall& call) {
  if (!SetJavaSystemProperty(steps, "user.dir", call.user_dir)) return false;
  if (!call.redirect) return true;
  if (!settings.system_out_file.empty() && !RedirectJavaStream(steps, settings.system_out_file, "setOut")) {
    return false;
  }
  return settings.system_err_file.empty() || RedirectJavaStream(steps, settings.system_err_file, "setErr");
}

jobjectArray BuildArgumentArray(const JniSteps& steps, const std::vector<std::string>& args) {
  JNIEnv* env = steps.env;
  const JNINativeInterface_* jni = env->functions;
  jclass string_class = jni->FindClass(env, "java/lang/String");  // a core class: not tested
  jobjectArray array = jni->NewObjectArray(env, static_cast<jsize>(args.size()), string_class, nullptr);
  if (StepFailed(steps, array == nullptr, kErrorInstantiating, "java/lang/String[]")) return nullptr;
  for (std::size_t i = 0; i < args.size(); ++i) {
    jstring arg = NewJavaString(steps, args[i]);
    if (arg == nullptr) return nullptr;
    jni->SetObjectArrayElement(env, array, static_cast<jsize>(i), arg);
    if (StepFailed(steps, false, kErrorAssigningString, args[i].c_str())) return nullptr;
  }
  return array;
}

// Finds the class's static void method(String[]) and calls it with args, unless may_begin, asked just
// before the call, says no.
bool CallArgumentsMethod(const JniSteps& steps, const MethodReference& method, const std::vector<std::string>& args,
                         MainGate may_begin) {
  JNIEnv* env = steps.env;
  const JNINativeInterface_* jni = env->functions;
  jclass type = jni->FindClass(env, ModifiedUtf8FromUtf8(method.class_name).c_str());
  if (StepFailed(steps, type == nullptr, kErrorLocatingClass, method.class_name.c_str())) return false;
  const std::string label = method.name + "(java/lang/String[])";
  jmethodID id = MethodStep(steps, type, true, ModifiedUtf8FromUtf8(method.name).c_str(), kArgumentsSignature,
                            label.c_str());
  if (id == nullptr) return false;
  jobjectArray array = BuildArgumentArray(steps, args);
  if (array == nullptr) return false;
  // As late as possible, so that a stop request that comes before main has begun keeps it from
  // beginning at all.
  if (may_begin != nullptr && !may_begin()) return true;
  jni->CallStaticVoidMethod(env, type, id, array);
  return !StepFailed(steps, false, kErrorInvoking, label.c_str());
}

}  // namespace

bool InvokeMain(JNIEnv* env, const MainSettings& settings, const MainCall& call) {
  const JniSteps steps{env, settings.messages};
  if (!PrepareJavaEnvironment(steps, settings, call)) return false;

  // Arguments given replace AppOptions entirely; AppOptions applies only when there are none.
  std::vector<std::string> defaults;
  if (call.arguments.empty()) defaults = TokenizeArguments(settings.app_options, false);
  return CallArgumentsMethod(steps, MethodReference{settings.main_class, "main"},
                             call.arguments.empty() ? defaults : call.arguments, call.may_begin);
}

std::optional<MethodReference> ParseMethodReference(std::string_view dotted) {
  const std::size_t dot = dotted.rfind('.');
  if (dot == std::string_view::npos || dot == 0 || dot + 1 == dotted.size()) return std::nullopt;
  MethodReference method{std::string(dotted.substr(0, dot)), std::string(dotted.substr(dot + 1))};
  for (char& c : method.class_name) {
    if (c == '.') c = '/';
  }
  return method;
}

bool InvokeArgumentsMethodAsDaemon(JavaVM* vm, jint version, JvmMessages messages, const char* thread_name,
                                   const MethodReference& method, const std::vector<std::string>& args) {
  const AttachedThread thread(vm, version, messages, thread_name);
  return thread.env() != nullptr && CallArgumentsMethod(JniSteps{thread.env(), messages}, method, args, nullptr);
}

bool InvokeMainAsStopper(JavaVM* vm, jint version, const MainSettings& settings, const MainCall& call) {
  const AttachedThread thread(vm, version, settings.messages);
  return thread.env() != nullptr && InvokeMain(thread.env(), settings, call);
}

bool CallSystemExit(JavaVM* vm, jint version, JvmMessages messages) {
  const AttachedThread thread(vm, version, messages);
  JNIEnv* env = thread.env();
  if (env == nullptr) return false;
  const JNINativeInterface_* jni = env->functions;
  const JniSteps steps{env, messages};
  jclass system_class = FindClassStep(steps, "java/lang/System");
  if (system_class == nullptr) return false;
  jmethodID exit_method = MethodStep(steps, system_class, true, "exit", "(I)V", "exit(int)");
  if (exit_method == nullptr) return false;
  // On success the JVM ends the process inside this call.
  jni->CallStaticVoidMethod(env, system_class, exit_method, static_cast<jint>(0));
  return !StepFailed(steps, false, kErrorInvoking, "exit(int)");
}

}  // namespace stub
