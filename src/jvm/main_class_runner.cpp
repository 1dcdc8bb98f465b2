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
constexpr char kMainLabel[] = "main(java/lang/String[])";

// Attaches the calling thread on construction and detaches it on destruction.
class AttachedThread {
 public:
  AttachedThread(JavaVM* vm, jint version, JvmMessages messages) : vm_(vm) {
    JavaVMAttachArgs args{};
    args.version = version;
    args.name = const_cast<char*>(kStopperThreadName);
    args.group = nullptr;
    void* env = nullptr;
    if (vm->functions->AttachCurrentThread(vm, &env, &args) == JNI_OK) env_ = static_cast<JNIEnv*>(env);
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

}  // namespace

bool InvokeMain(JNIEnv* env, const MainSettings& settings, const MainCall& call) {
  const JNINativeInterface_* jni = env->functions;
  const JniSteps steps{env, settings.messages};
  if (!PrepareJavaEnvironment(steps, settings, call)) return false;

  jclass main_class = jni->FindClass(env, ModifiedUtf8FromUtf8(settings.main_class).c_str());
  if (StepFailed(steps, main_class == nullptr, kErrorLocatingClass, settings.main_class.c_str())) return false;
  jmethodID main_method = MethodStep(steps, main_class, true, "main", "([Ljava/lang/String;)V", kMainLabel);
  if (main_method == nullptr) return false;

  // Arguments given replace AppOptions entirely; AppOptions applies only when there are none.
  std::vector<std::string> defaults;
  if (call.arguments.empty()) defaults = TokenizeArguments(settings.app_options, false);
  jobjectArray array = BuildArgumentArray(steps, call.arguments.empty() ? defaults : call.arguments);
  if (array == nullptr) return false;
  // As late as possible, so that a stop request that comes before main has begun keeps it from
  // beginning at all.
  if (call.may_begin != nullptr && !call.may_begin()) return true;
  jni->CallStaticVoidMethod(env, main_class, main_method, array);
  return !StepFailed(steps, false, kErrorInvoking, kMainLabel);
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
