#include "jvm/jvm_options.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

#include "class_path_tree.h"
#include "core/variables.h"

namespace stub {
namespace {

using fuzzing::TreeNode;
constexpr auto kFile = TreeNode::kFile;
constexpr auto kDirectory = TreeNode::kDirectory;

class RecordingReporter : public AssemblyReporter {
 public:
  void SystemError(unsigned long code) override { reports.push_back("system " + std::to_string(code)); }
  void Error(const std::string& text) override { reports.push_back(text); }
  std::vector<std::string> reports;
};

class JvmOptionsTest : public ::testing::Test {
 protected:
  bool Assemble(const std::string& jvm_options, const std::string& class_path) {
    inputs_.jvm_options = jvm_options;
    inputs_.class_path = class_path;
    return AssembleJvmOptions(inputs_, tree_, reporter_, options_);
  }
  const std::vector<std::string>& VmOptions() const { return options_; }

  fuzzing::TreeFileSystem tree_;
  RecordingReporter reporter_;
  std::map<std::string, std::string> env_;
  JvmOptionInputs inputs_{"", "", "", "Error accessing file/directory: %s", [this](const std::string& name) {
                            auto it = env_.find(name);
                            return it == env_.end() ? std::string() : it->second;
                          }};
  std::vector<std::string> options_;
};

TEST_F(JvmOptionsTest, ShippedLayoutGivesOneClassPathOptionInWalkOrder) {
  tree_.Add("Classes", kDirectory);
  tree_.Add("Classes\\shared.jar", kFile);
  tree_.Add("Classes\\nested", kDirectory);
  tree_.Add("Classes\\nested\\deep.JAR", kFile);
  tree_.Add("Classes\\after.zip", kFile);
  tree_.Add("Classes\\a.jar.old", kFile);
  tree_.Add("Classes\\x.jar", kDirectory);
  tree_.Add("Sources", kDirectory);
  tree_.Add("Lib", kDirectory);
  tree_.Add("Lib\\harbordesk.jar", kFile);
  tree_.Add("Plugins", kDirectory);
  tree_.Add("Plugins\\p.Zip", kFile);

  ASSERT_TRUE(Assemble("-Xmx512m -Dharbor.data.dir=Data\\", ".;Classes\\;Sources\\;Lib\\harbordesk.jar;Plugins\\"));
  const std::vector<std::string> expected = {
      "-Xmx512m", "-Dharbor.data.dir=Data\\",
      "-Djava.class.path=.;"
      ".\\Classes\\shared.jar;.\\Classes\\nested\\deep.JAR;.\\Classes\\after.zip;.\\Lib\\harbordesk.jar;"
      ".\\Plugins\\p.Zip;"
      "Classes\\;Classes\\shared.jar;Classes\\nested\\deep.JAR;Classes\\after.zip;"
      "Sources\\;Lib\\harbordesk.jar;Plugins\\;Plugins\\p.Zip"};
  EXPECT_EQ(VmOptions(), expected);
  EXPECT_TRUE(reporter_.reports.empty());
  // Every directory was listed once, although "." had already walked through Classes and Plugins.
  EXPECT_EQ(tree_.listed, (std::vector<std::string>{".", ".\\Classes", ".\\Classes\\nested", ".\\Classes\\x.jar",
                                                    ".\\Sources", ".\\Lib", ".\\Plugins"}));
}

TEST_F(JvmOptionsTest, TheJavaHomeInUseIsNotWalkedAsPartOfAnotherEntry) {
  tree_.Add("app.jar", kFile);
  tree_.Add("runtime\\lib\\jrt-fs.jar", kFile);
  tree_.Add("runtime\\bin\\server\\jvm.dll", kFile);
  inputs_.java_home = ".\\runtime\\";
  ASSERT_TRUE(Assemble("", "."));
  EXPECT_EQ(VmOptions(), std::vector<std::string>{"-Djava.class.path=.;.\\app.jar"});
  ASSERT_TRUE(Assemble("", ".;runtime\\lib"));
  EXPECT_EQ(VmOptions(), std::vector<std::string>{"-Djava.class.path=.;.\\app.jar;runtime\\lib;runtime\\lib\\jrt-fs.jar"});
}

// Entries split at ';' and line breaks and keep their spaces; an empty class path adds no option; a
// trailing space in the options yields an empty option before the class path (as it always has); the
// Java home of a plain JvmPath is empty; an environment value with spaces splits a configured option.
TEST_F(JvmOptionsTest, OptionsAreTheTokensOfTheExpandedTextAndTheClassPathIsTheLastOption) {
  tree_.Add("my lib\\a b.jar", kFile);
  tree_.Add("x.jar", kFile);
  env_ = {{"OPTS", "-Da=1 -Db=2"}};
  struct Case {
    const char* jvm_options;
    const char* class_path;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"-Xss1m", "\r\nmy lib\\a b.jar\r\n;;x.jar;\n", {"-Xss1m", "-Djava.class.path=my lib\\a b.jar;x.jar"}},
      {"-Xmx1g", ";;\r\n", {"-Xmx1g"}},
      {"", "", {}},
      {"-Xmx1g ", "x.jar", {"-Xmx1g", "", "-Djava.class.path=x.jar"}},
      {"", "%JAVA_HOME%\\lib\\x.jar", {"-Djava.class.path=\\lib\\x.jar"}},
      {"%OPTS%", "", {"-Da=1", "-Db=2"}},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(Assemble(c.jvm_options, c.class_path)) << c.class_path;
    EXPECT_EQ(VmOptions(), c.expected) << c.jvm_options << " " << c.class_path;
  }
}

TEST(PlaceApplicationIn, ClassPathEntriesGoAbsoluteAndUserDirIsSetAtCreation) {
  std::vector<std::string> options{"-Djava.class.path.x=a", "-Djava.class.path=my lib\\a b.jar;C:\\x.jar"};
  PlaceApplicationIn("D:\\work dir", [](const std::string& path) { return "[" + path + "]"; }, options);
  EXPECT_EQ(options, (std::vector<std::string>{"-Djava.class.path.x=a", "-Djava.class.path=[my lib\\a b.jar];[C:\\x.jar]",
                                               "-Duser.dir=D:\\work dir"}));
}

TEST_F(JvmOptionsTest, InaccessibleEntryReportsTwiceAndStopsAtIt) {
  tree_.Add("ok.jar", kFile);
  EXPECT_FALSE(Assemble("-Xmx1g", "ok.jar;lib\\*.jar;later\\missing.jar"));
  EXPECT_EQ(reporter_.reports, (std::vector<std::string>{"system 2", "Error accessing file/directory: lib\\*.jar"}));
}

TEST_F(JvmOptionsTest, EntriesWithReferencesAreNotExaminedAndExpandLater) {
  inputs_.java_home = "C:\\jdk";
  env_ = {{"APPDIR", "D:\\app"}, {"JAVA_HOME", "C:\\from-environment"}};
  ASSERT_TRUE(Assemble("-Dhome=%JAVA_HOME% -Dgone=%UNDEFINED%x -Dempty=%% -Dpct=50%",
                       "%JAVA_HOME%\\lib\\tools.jar;%APPDIR%\\lib"));
  EXPECT_TRUE(tree_.listed.empty());
  EXPECT_EQ(VmOptions(), (std::vector<std::string>{"-Dhome=C:\\jdk", "-Dgone=x", "-Dempty=", "-Dpct=50",
                                                   "-Djava.class.path=C:\\jdk\\lib\\tools.jar;D:\\app\\lib"}));
}

TEST_F(JvmOptionsTest, QuoteInTheClassPathIsRefusedInsteadOfSplittingTheOption) {
  env_ = {{"BAD", "a\" -Dinjected=1 \"b"}};
  EXPECT_FALSE(Assemble("-Xmx1g", "%BAD%"));
  ASSERT_EQ(reporter_.reports.size(), 1u);
  EXPECT_NE(reporter_.reports[0].find("double quote"), std::string::npos);
  EXPECT_TRUE(options_.empty());
}

TEST_F(JvmOptionsTest, FailedListingKeepsWhatWasFoundAndGoesOn) {
  tree_.Add("a\\one.jar", kFile);
  tree_.Add("a\\two.jar", kFile);
  tree_.Add("b.jar", kFile);
  TreeNode& a = tree_.Add("a", kDirectory);
  a.fail_after = 1;  // after one.jar
  a.fail_error = 5;
  ASSERT_TRUE(Assemble("", "a;b.jar;.\\a"));
  EXPECT_EQ(VmOptions(), std::vector<std::string>{"-Djava.class.path=a;a\\one.jar;b.jar;.\\a;.\\a\\one.jar"});
  // Listed once, reported once with its path.
  EXPECT_EQ(reporter_.reports, (std::vector<std::string>{"system 5", "Error accessing file/directory: a"}));
  EXPECT_EQ(tree_.listed, std::vector<std::string>{"a"});
}

TEST_F(JvmOptionsTest, LinksBackUpTheTreeOrToOneFolderTwiceEndTheWalkWithEachArchiveOnce) {
  tree_.Add("loop\\a.jar", kFile);
  tree_.AddLink("loop\\s1", "loop");
  tree_.AddLink("loop\\s2", "loop");
  tree_.Add("deep\\b\\c\\x.jar", kFile);
  tree_.AddLink("deep\\b\\c\\up", "deep");
  tree_.Add("lib\\y.jar", kFile);
  tree_.AddLink("two\\l1", "lib");
  tree_.AddLink("two\\l2", "lib");
  ASSERT_TRUE(Assemble("", "loop;deep;two"));
  EXPECT_EQ(VmOptions(), std::vector<std::string>{"-Djava.class.path=loop;loop\\a.jar;deep;deep\\b\\c\\x.jar;two;"
                                                  "two\\l1\\y.jar"});
  EXPECT_TRUE(reporter_.reports.empty());
  EXPECT_EQ(tree_.listed, (std::vector<std::string>{"loop", "deep", "deep\\b", "deep\\b\\c", "two", "two\\l1"}));
}

// A code page that carries ASCII and Latin-1 letters only, and short names for some paths.
class LatinCodePage : public OptionCodePage {
 public:
  // Encodes as UTF-8 itself, so that expected results read as written.
  std::optional<std::string> Encode(const std::string& utf8) const override {
    for (std::size_t i = 0; i < utf8.size(); ++i) {
      const auto byte = static_cast<unsigned char>(utf8[i]);
      if (byte >= 0x80 && byte != 0xC3 && (i == 0 || static_cast<unsigned char>(utf8[i - 1]) != 0xC3)) {
        return std::nullopt;
      }
    }
    return utf8;
  }
  std::optional<std::string> ShortForm(const std::string& path) const override {
    auto it = short_names.find(path);
    if (it == short_names.end()) return std::nullopt;
    return it->second;
  }
  std::map<std::string, std::string> short_names;
};

TEST(CarriableOption, PathsTheCodePageCannotCarryGoByTheirShortNames) {
  LatinCodePage code_page;
  const std::string japanese = "\xE6\x97\xA5\xE6\x9C\xAC";
  code_page.short_names = {{"C:\\" + japanese + "\\lib", "C:\\E6E5~1\\lib"},
                           {"C:\\" + japanese + "\\agent.jar", "C:\\E6E5~1\\AGENT.JAR"},
                           {"lib\\" + japanese + ".jar", "lib\\E6E5~1.JAR"}};
  const std::pair<std::string, std::optional<std::string>> cases[] = {
      {"-Xmx1g", "-Xmx1g"},
      {"-Dname=Zo\xC3\xAB", "-Dname=Zo\xC3\xAB"},
      {"-Djava.class.path=a.jar;lib\\" + japanese + ".jar;C:\\" + japanese + "\\lib",
       "-Djava.class.path=a.jar;lib\\E6E5~1.JAR;C:\\E6E5~1\\lib"},
      {"-Xbootclasspath/a:C:\\" + japanese + "\\lib", "-Xbootclasspath/a:C:\\E6E5~1\\lib"},
      {"-javaagent:C:\\" + japanese + "\\agent.jar=opts", "-javaagent:C:\\E6E5~1\\AGENT.JAR=opts"},
      {"-javaagent:C:\\" + japanese + "\\agent.jar=" + japanese, std::nullopt},  // arguments have no short form
      {"-Dtitle=" + japanese, std::nullopt},
      {"-Dmissing=C:\\" + japanese + "\\nothing", std::nullopt},
      {"-X" + japanese, std::nullopt},
  };
  for (const auto& [option, carried] : cases) EXPECT_EQ(CarriableOption(option, code_page), carried) << option;
}

// The case that has no short name to fall back on: the whole list is refused, named, and nothing of
// it is handed on.
TEST(EncodeJvmOptions, AnOptionWithoutAShortNameStopsTheListAndIsNamed) {
  LatinCodePage code_page;
  RecordingReporter reporter;
  const std::string missing = "-Dmissing=C:\\\xE6\x97\xA5\\nothing";
  std::vector<std::string> encoded;
  EXPECT_FALSE(EncodeJvmOptions({"-Xmx1g", missing, "-Dlater=1"}, code_page, reporter, encoded));
  EXPECT_EQ(encoded, std::vector<std::string>{"-Xmx1g"});
  ASSERT_EQ(reporter.reports.size(), 1u);
  EXPECT_EQ(reporter.reports[0], "The JVM option " + missing +
                                     " cannot be passed in this system's code page, and no short name of its path can "
                                     "stand in.");
  encoded.clear();
  ASSERT_TRUE(EncodeJvmOptions({"-Xmx1g", "-Dname=Zo\xC3\xAB"}, code_page, reporter, encoded));
  EXPECT_EQ(encoded, (std::vector<std::string>{"-Xmx1g", "-Dname=Zo\xC3\xAB"}));
}

TEST(ExpandVariables, ReferencesAndLonePercentSigns) {
  const auto env = [](const std::string& name) { return name == "X" ? std::string("ex") : std::string(); };
  const std::pair<const char*, const char*> cases[] = {
      {"plain", "plain"},   {"%X%", "ex"},  {"a%X%b%X%c", "aexbexc"},
      {"%Y%", ""},          {"50%", "50"},  {"50% off", "50 off"},
      {"%%", ""},           {"%X%%", "ex"}, {"%java_home%", ""},
      {"%JAVA_HOME%", "J"}, {"", ""},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(ExpandVariables(text, "J", env), expected) << text;
}

}  // namespace
}  // namespace stub
