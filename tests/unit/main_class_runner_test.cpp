#include "jvm/main_class_runner.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <deque>
#include <set>
#include <string>
#include <vector>

#include "core/launch_config.h"
#include "core/text.h"
#include "report_recorder.h"

namespace stub {
namespace {

// A fake JNI function table: the calls the runner makes, recorded in order, with objects as handles
// into the fake's own store. Strings are kept as the UTF-16 they were made from.
class FakeJni {
 public:
  FakeJni() {
    functions_.ExceptionCheck = [](JNIEnv* env) -> jboolean { return Of(env).pending_ ? JNI_TRUE : JNI_FALSE; };
    functions_.ExceptionDescribe = [](JNIEnv* env) { Of(env).Log("ExceptionDescribe"); };
    functions_.ExceptionClear = [](JNIEnv* env) { Of(env).pending_ = false; };
    functions_.FindClass = [](JNIEnv* env, const char* name) -> jclass {
      FakeJni& jni = Of(env);
      jni.Log(std::string("FindClass ") + name);
      if (jni.missing_.count(name)) return nullptr;
      return static_cast<jclass>(jni.Make(name));
    };
    functions_.GetStaticMethodID = [](JNIEnv* env, jclass, const char* name, const char*) -> jmethodID {
      FakeJni& jni = Of(env);
      if (jni.missing_.count(name)) return nullptr;
      return reinterpret_cast<jmethodID>(jni.Make(name));
    };
    functions_.GetMethodID = functions_.GetStaticMethodID;
    functions_.NewString = [](JNIEnv* env, const jchar* chars, jsize length) -> jstring {
      FakeJni& jni = Of(env);
      jni.strings.emplace_back(reinterpret_cast<const char16_t*>(chars), static_cast<std::size_t>(length));
      jni.Log("NewString " + Utf8FromUtf16(jni.strings.back()));
      return static_cast<jstring>(jni.Make(Utf8FromUtf16(jni.strings.back())));
    };
    functions_.NewObjectArray = [](JNIEnv* env, jsize length, jclass, jobject) -> jobjectArray {
      return static_cast<jobjectArray>(Of(env).Make("array of " + std::to_string(length)));
    };
    functions_.SetObjectArrayElement = [](JNIEnv* env, jobjectArray, jsize index, jobject value) {
      FakeJni& jni = Of(env);
      jni.Log("SetObjectArrayElement " + std::to_string(index) + " " + Name(value));
      if (jni.fail_element_ == index) jni.pending_ = true;
    };
    functions_.NewObject = NewObject;
    functions_.CallStaticObjectMethod = CallStaticObjectMethod;
    functions_.CallStaticVoidMethod = CallStaticVoidMethod;
    env_.functions = &functions_;
    env_.owner = this;
    invoke_.AttachCurrentThread = [](JavaVM* vm, void** env, void* args) -> jint {
      FakeJni& jni = Of(vm);
      const auto* attach = static_cast<JavaVMAttachArgs*>(args);
      jni.Log("AttachCurrentThread " + std::to_string(attach->version) + " " + attach->name);
      if (jni.refuse_attach_) return JNI_ERR;
      *env = &jni.env_;
      return JNI_OK;
    };
    invoke_.DetachCurrentThread = [](JavaVM* vm) -> jint {
      Of(vm).Log("DetachCurrentThread");
      return JNI_OK;
    };
    vm_.functions = &invoke_;
    vm_.owner = this;
  }
  FakeJni(const FakeJni&) = delete;
  FakeJni& operator=(const FakeJni&) = delete;

  JNIEnv* env() { return &env_; }
  JavaVM* vm() { return &vm_; }

  std::vector<std::string> log;
  std::deque<std::u16string> strings;
  std::set<std::string> missing_;  // class or method names not found
  std::set<std::string> throwing_;  // static void methods that leave an exception pending
  int fail_element_ = -1;
  bool refuse_attach_ = false;

 private:
  // The variadic entries cannot be lambdas.
  static jobject NewObject(JNIEnv* env, jclass cls, jmethodID, ...) {
    Of(env).Log("NewObject " + Name(cls));
    return static_cast<jobject>(Of(env).Make("object of " + Name(cls)));
  }
  static jobject CallStaticObjectMethod(JNIEnv* env, jclass, jmethodID method, ...) {
    va_list args;
    va_start(args, method);
    auto* key = va_arg(args, jobject);
    auto* value = va_arg(args, jobject);
    va_end(args);
    Of(env).Log("CallStaticObjectMethod " + Name(method) + " " + Name(key) + "=" + Name(value));
    return nullptr;
  }
  static void CallStaticVoidMethod(JNIEnv* env, jclass, jmethodID method, ...) {
    FakeJni& jni = Of(env);
    jni.Log("CallStaticVoidMethod " + Name(method));
    if (jni.throwing_.count(Name(method))) jni.pending_ = true;
  }
  // The environment and the machine lead to their fake, as a real JNIEnv leads to its thread.
  struct Env : JNIEnv {
    FakeJni* owner = nullptr;
  };
  struct Vm : JavaVM {
    FakeJni* owner = nullptr;
  };
  static FakeJni& Of(JNIEnv* env) { return *static_cast<Env*>(env)->owner; }
  static FakeJni& Of(JavaVM* vm) { return *static_cast<Vm*>(vm)->owner; }
  static std::string Name(const void* handle) { return handle ? *static_cast<const std::string*>(handle) : "null"; }
  void* Make(const std::string& name) { return &names_.emplace_back(name); }
  void Log(const std::string& line) { log.push_back(line); }

  JNINativeInterface_ functions_{};
  JNIInvokeInterface_ invoke_{};
  Env env_{};
  Vm vm_{};
  std::deque<std::string> names_;
  bool pending_ = false;
};

class MainClassRunnerTest : public ::testing::Test {
 protected:
  void SetUp() override { ClearReports(); }

  static MainCall Call(std::vector<std::string> arguments) {
    return MainCall{std::move(arguments), "C:\\Zo\xC3\xAB", /*redirect=*/false, nullptr};
  }

  FakeJni jni_;
  std::string main_class_ = "org/x/Caf\xC3\xA9";
  std::string out_file_;
  const std::string app_options_ = "default \"two words\"";
  const std::string no_file_;
  const std::string messages_[kJvmErrorMessageCount] = {"none",     "load %s",   "jni %s",    "create %s", "attach",
                                                        "class %s", "method %s", "object %s", "assign %s", "invoke %s"};
  const MainSettings settings_{main_class_, app_options_, out_file_, no_file_, JvmMessages(messages_)};
};

TEST_F(MainClassRunnerTest, ArgumentsAndPropertiesReachJavaAsTheirExactCharacters) {
  const std::string emoji = "\xF0\x9F\x98\x80";
  ASSERT_TRUE(InvokeMain(jni_.env(), settings_, Call({"caf\xC3\xA9", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E", emoji, ""})));
  EXPECT_EQ(jni_.strings, (std::deque<std::u16string>{u"user.dir", u"C:\\Zo\u00EB", u"caf\u00E9",
                                                      u"\u65E5\u672C\u8A9E", u"\U0001F600", u""}));
  EXPECT_EQ(jni_.log[0], "NewString user.dir");
  EXPECT_EQ(jni_.log[3], "CallStaticObjectMethod setProperty user.dir=C:\\Zo\xC3\xAB");
  EXPECT_EQ(jni_.log[4], "FindClass org/x/Caf\xC3\xA9");
  EXPECT_EQ(jni_.log.back(), "CallStaticVoidMethod main");
  EXPECT_TRUE(RecordedReports().empty());
}

TEST_F(MainClassRunnerTest, NoArgumentsMeansTheTokensOfAppOptionsAndClassNamesGoAsModifiedUtf8) {
  main_class_ = "p/\xF0\x9F\x98\x80";
  ASSERT_TRUE(InvokeMain(jni_.env(), settings_, Call({})));
  EXPECT_EQ(jni_.log[4], "FindClass p/\xED\xA0\xBD\xED\xB8\x80");
  EXPECT_EQ(std::vector<std::u16string>(jni_.strings.begin() + 2, jni_.strings.end()),
            (std::vector<std::u16string>{u"default", u"two words"}));
}

TEST_F(MainClassRunnerTest, EachFailingStepReportsItsMessageAndStops) {
  struct Case {
    const char* missing;
    const char* throwing;
    int fail_element;
    const char* report;
  };
  const Case cases[] = {
      {"org/x/Caf\xC3\xA9", nullptr, -1, "error: class org/x/Caf\xC3\xA9"},
      {"main", nullptr, -1, "error: method main(java/lang/String[])"},
      {"setProperty", nullptr, -1, "error: method setProperty"},
      {nullptr, "main", -1, "error: invoke main(java/lang/String[])"},
      {nullptr, nullptr, 1, "error: assign b"},
  };
  for (const Case& c : cases) {
    FakeJni jni;
    if (c.missing) jni.missing_.insert(c.missing);
    if (c.throwing) jni.throwing_.insert(c.throwing);
    jni.fail_element_ = c.fail_element;
    ClearReports();
    EXPECT_FALSE(InvokeMain(jni.env(), settings_, Call({"a", "b"}))) << c.report;
    EXPECT_EQ(RecordedReports(), std::vector<std::string>{c.report});
    const bool reached_main = std::find(jni.log.begin(), jni.log.end(), "CallStaticVoidMethod main") != jni.log.end();
    EXPECT_EQ(reached_main, c.throwing != nullptr) << c.report;
  }
}

// A closed gate keeps main from beginning and is no failure; only the application's own run, not a
// stopper's, redirects the streams.
TEST_F(MainClassRunnerTest, AClosedGateKeepsMainFromBeginningAndOnlyTheApplicationsRunRedirects) {
  MainCall call = Call({"run"});
  call.may_begin = [] { return false; };
  EXPECT_TRUE(InvokeMain(jni_.env(), settings_, call));
  EXPECT_EQ(std::count(jni_.log.begin(), jni_.log.end(), "CallStaticVoidMethod main"), 0);
  out_file_ = "sortie-\xC3\xA9.txt";
  FakeJni redirected;
  call = Call({"x"});
  call.redirect = true;
  ASSERT_TRUE(InvokeMain(redirected.env(), settings_, call));
  EXPECT_NE(std::find(redirected.strings.begin(), redirected.strings.end(), u"sortie-\u00E9.txt"),
            redirected.strings.end());
  FakeJni stopper;
  ASSERT_TRUE(InvokeMain(stopper.env(), settings_, Call({"x"})));
  EXPECT_EQ(std::count(stopper.log.begin(), stopper.log.end(), "NewObject java/io/FileOutputStream"), 0);
}

TEST_F(MainClassRunnerTest, AStopperAttachesUnderItsNameAndAlwaysDetachesAndAnExitThatReturnsIsReported) {
  ASSERT_TRUE(InvokeMainAsStopper(jni_.vm(), 0x00010004, settings_, Call({"stop"})));
  EXPECT_EQ(jni_.log.front(), "AttachCurrentThread 65540 Tarvik stopper thread");
  EXPECT_EQ(jni_.log.back(), "DetachCurrentThread");

  FakeJni failing;
  failing.missing_.insert("main");
  EXPECT_FALSE(InvokeMainAsStopper(failing.vm(), 0x00010004, settings_, Call({"stop"})));
  EXPECT_EQ(failing.log.back(), "DetachCurrentThread");

  FakeJni refusing;
  refusing.refuse_attach_ = true;
  ClearReports();
  EXPECT_FALSE(CallSystemExit(refusing.vm(), 0x00010004, settings_.messages));
  EXPECT_EQ(RecordedReports(), std::vector<std::string>{"error: attach"});
  EXPECT_EQ(refusing.log.size(), 1u);

  jni_.throwing_.insert("exit");  // a System.exit that comes back
  ClearReports();
  EXPECT_FALSE(CallSystemExit(jni_.vm(), 0x00010004, settings_.messages));
  EXPECT_EQ(RecordedReports(), std::vector<std::string>{"error: invoke exit(int)"});
  EXPECT_EQ(jni_.log.back(), "DetachCurrentThread");
}

}  // namespace
}  // namespace stub
