// Guarded JNI calls. Calls go through the function table directly (not the C++ convenience members),
// so the runtime receives exactly the variadic entries the launcher's contract names.
#include "jvm/jni_guard.h"

#include "core/reporting.h"
#include "core/text.h"

namespace stub {

bool CheckJavaException(JNIEnv* env) {
  if (!env->functions->ExceptionCheck(env)) return false;
  env->functions->ExceptionDescribe(env);
  env->functions->ExceptionClear(env);
  return true;
}

bool StepFailed(const JniSteps& steps, bool null_result, JvmErrorMessage message, const char* label) {
  const bool exception = CheckJavaException(steps.env);
  if (!exception && !null_result) return false;
  ReportError(steps.messages[message], label);
  return true;
}

jclass FindClassStep(const JniSteps& steps, const char* name) {
  JNIEnv* env = steps.env;
  jclass type = env->functions->FindClass(env, name);
  return StepFailed(steps, type == nullptr, kErrorLocatingClass, name) ? nullptr : type;
}

jmethodID MethodStep(const JniSteps& steps, jclass type, bool is_static, const char* name, const char* signature,
                     const char* label) {
  JNIEnv* env = steps.env;
  const JNINativeInterface_* jni = env->functions;
  jmethodID method =
      is_static ? jni->GetStaticMethodID(env, type, name, signature) : jni->GetMethodID(env, type, name, signature);
  return StepFailed(steps, method == nullptr, kErrorLocatingMethod, label) ? nullptr : method;
}

jstring NewJavaString(const JniSteps& steps, const std::string& utf8) {
  JNIEnv* env = steps.env;
  const std::u16string units = Utf16FromUtf8(utf8);
  jstring text =
      env->functions->NewString(env, reinterpret_cast<const jchar*>(units.data()), static_cast<jsize>(units.size()));
  return StepFailed(steps, text == nullptr, kErrorInstantiating, "java/lang/String") ? nullptr : text;
}

bool RedirectJavaStream(const JniSteps& steps, const std::string& file_name, const char* setter_name) {
  JNIEnv* env = steps.env;
  const JNINativeInterface_* jni = env->functions;
  jstring name = NewJavaString(steps, file_name);
  if (name == nullptr) return false;

  jclass file_stream_class = FindClassStep(steps, "java/io/FileOutputStream");
  if (file_stream_class == nullptr) return false;
  jmethodID file_stream_init = MethodStep(steps, file_stream_class, false, "<init>", "(Ljava/lang/String;Z)V",
                                          "java/io/FileOutputStream(String, boolean)");
  if (file_stream_init == nullptr) return false;
  // Never append: a redirection file starts empty on every run.
  jobject file_stream = jni->NewObject(env, file_stream_class, file_stream_init, name, JNI_FALSE);
  if (StepFailed(steps, file_stream == nullptr, kErrorInstantiating, "java/io/FileOutputStream")) return false;

  jclass print_stream_class = FindClassStep(steps, "java/io/PrintStream");
  if (print_stream_class == nullptr) return false;
  jmethodID print_stream_init = MethodStep(steps, print_stream_class, false, "<init>", "(Ljava/io/OutputStream;)V",
                                           "java/io/PrintStream(java/io/OutputStream)");
  if (print_stream_init == nullptr) return false;
  jobject print_stream = jni->NewObject(env, print_stream_class, print_stream_init, file_stream);
  if (StepFailed(steps, print_stream == nullptr, kErrorInstantiating, "java/io/PrintStream")) return false;

  jclass system_class = FindClassStep(steps, "java/lang/System");
  if (system_class == nullptr) return false;
  jmethodID setter = MethodStep(steps, system_class, true, setter_name, "(Ljava/io/PrintStream;)V", setter_name);
  if (setter == nullptr) return false;
  jni->CallStaticVoidMethod(env, system_class, setter, print_stream);
  return !StepFailed(steps, false, kErrorInvoking, setter_name);
}

}  // namespace stub
