// The failure rule shared by every JNI call of the launcher: after each call a pending Java exception
// is described and cleared, and a null reference or ID counts as failure; a failed step reports its
// configured message with the step's label. Also the one Java string maker: texts reach Java from
// UTF-16, so every character arrives as it was, whatever the platform's code page.
#pragma once

#include <jni.h>

#include <string>
#include <string_view>

#include "core/launch_config.h"

namespace stub {

// The configured JvmErrorMessages, ten consecutive texts indexed by JvmErrorMessage; every failed step
// reports one of them.
class JvmMessages {
 public:
  explicit JvmMessages(const std::string* first) : first_(first) {}
  const std::string& operator[](JvmErrorMessage which) const { return first_[which]; }

 private:
  const std::string* first_;
};

// An environment with the messages its failed steps report.
struct JniSteps {
  JNIEnv* env;
  JvmMessages messages;
};

// True when a Java exception was pending; it has then been printed on Java's error stream and cleared.
bool CheckJavaException(JNIEnv* env);

// True when the step failed (an exception was pending, or null_result); the step's message has then
// been reported with label as its argument.
bool StepFailed(const JniSteps& steps, bool null_result, JvmErrorMessage message, const char* label);

// The class of that name, or null when the step failed (reported as locating the class).
jclass FindClassStep(const JniSteps& steps, const char* name);

// The method (static or not) of that name and signature, or null when the step failed (reported as
// locating the method, with label).
jmethodID MethodStep(const JniSteps& steps, jclass type, bool is_static, const char* name, const char* signature,
                     const char* label);

// A Java string of a UTF-8 text (NewString of its UTF-16), or null when the step failed (reported as
// instantiating java/lang/String).
jstring NewJavaString(const JniSteps& steps, const std::string& utf8);

// Replaces System.out ("setOut") or System.err ("setErr") by a PrintStream over a FileOutputStream
// opened on file_name without append, so an existing file is emptied. Reports and returns false when
// a step fails.
bool RedirectJavaStream(const JniSteps& steps, const std::string& file_name, const char* setter_name);

}  // namespace stub
