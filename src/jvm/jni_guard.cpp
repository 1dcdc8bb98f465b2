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

bool StepFailed(JNIEnv* env, JvmMessages messages, bool null_result, JvmErrorMessage message, const char* label) {
  const bool exception = CheckJavaException(env);
  if (!exception && !null_result) return false;
  ReportError(messages[message], label);
  return true;
}

jclass FindClassStep(JNIEnv* env, JvmMessages messages, const char* name) {
  jclass type = env->functions->FindClass(env, name);
  return StepFailed(env, messages, type == nullptr, kErrorLocatingClass, name) ? nullptr : type;
}

jmethodID MethodStep(JNIEnv* env, JvmMessages messages, jclass type, bool is_static, const char* name, const char* signature,
                     const char* label) {
  const JNINativeInterface_* jni = env->functions;
  jmethodID method =
      is_static ? jni->GetStaticMethodID(env, type, name, signature) : jni->GetMethodID(env, type, name, signature);
  return StepFailed(env, messages, method == nullptr, kErrorLocatingMethod, label) ? nullptr : method;
}

jstring NewJavaString(JNIEnv* env, JvmMessages messages, const std::string& utf8) {
  const std::u16string units = Utf16FromUtf8(utf8);
  jstring text =
      env->functions->NewString(env, reinterpret_cast<const jchar*>(units.data()), static_cast<jsize>(units.size()));
  return StepFailed(env, messages, text == nullptr, kErrorInstantiating, "java/lang/String") ? nullptr : text;
}

bool RedirectJavaStream(JNIEnv* env, JvmMessages messages, const std::string& file_name, const char* setter_name) {
  const JNINativeInterface_* jni = env->functions;
  jstring name = NewJavaString(env, messages, file_name);
  if (name == nullptr) return false;

  jclass file_stream_class = FindClassStep(env, messages, "java/io/FileOutputStream");
  if (file_stream_class == nullptr) return false;
  jmethodID file_stream_init = MethodStep(env, messages, file_stream_class, false, "<init>", "(Ljava/lang/String;Z)V",
                                          "java/io/FileOutputStream(String, boolean)");
  if (file_stream_init == nullptr) return false;
  // Never append: a redirection file starts empty on every run.
  jobject file_stream = jni->NewObject(env, file_stream_class, file_stream_init, name, JNI_FALSE);
  if (StepFailed(env, messages, file_stream == nullptr, kErrorInstantiating, "java/io/FileOutputStream")) return false;

  jclass print_stream_class = FindClassStep(env, messages, "java/io/PrintStream");
  if (print_stream_class == nullptr) return false;
  jmethodID print_stream_init = MethodStep(env, messages, print_stream_class, false, "<init>", "(Ljava/io/OutputStream;)V",
                                           "java/io/PrintStream(java/io/OutputStream)");
  if (print_stream_init == nullptr) return false;
  jobject print_stream = jni->NewObject(env, print_stream_class, print_stream_init, file_stream);
  if (StepFailed(env, messages, print_stream == nullptr, kErrorInstantiating, "java/io/PrintStream")) return false;

  jclass system_class = FindClassStep(env, messages, "java/lang/System");
  if (system_class == nullptr) return false;
  jmethodID setter = MethodStep(env, messages, system_class, true, setter_name, "(Ljava/io/PrintStream;)V", setter_name);
  if (setter == nullptr) return false;
  jni->CallStaticVoidMethod(env, system_class, setter, print_stream);
  return !StepFailed(env, messages, false, kErrorInvoking, setter_name);
}

}  // namespace stub
