#include "runtime/runtime_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

namespace stub {
namespace {

constexpr char kJre[] = "Software\\JavaSoft\\Java Runtime Environment";
constexpr char kIbmJre[] = "Software\\IBM\\Java2 Runtime Environment";
constexpr char kJdk[] = "Software\\JavaSoft\\Java Development Kit";
constexpr char kIbmJdk[] = "Software\\IBM\\Java Development Kit";
constexpr RegistryRoot kHklm = RegistryRoot::kLocalMachine;
constexpr RegistryRoot kHkcu = RegistryRoot::kCurrentUser;
constexpr auto kRe = RuntimeFamily::kRuntimeEnvironment;
constexpr auto kDk = RuntimeFamily::kDevelopmentKit;

TEST(RuntimeSearch, ModeTableGivesOrderAndPlaceOfTheConfiguredPath) {
  struct Row {
    int mode;
    bool registry_first;
    std::vector<RuntimeFamily> families;
  };
  const Row rows[] = {
      {0, false, {kRe, kDk}}, {1, false, {kDk, kRe}}, {2, false, {kRe}},       {3, false, {kDk}},
      {4, true, {kRe, kDk}},  {5, true, {kDk, kRe}},  {6, true, {kRe}},        {7, true, {kDk}},
      {8, true, {kRe, kDk}},  {12, true, {kRe, kDk}}, {-1, false, {kRe, kDk}}, {-2147483647 - 1, false, {kRe, kDk}},
  };
  for (const Row& row : rows) {
    const SearchPlan plan = SearchPlanForMode(row.mode);
    EXPECT_EQ(plan.registry_first, row.registry_first) << row.mode;
    EXPECT_EQ(std::vector<RuntimeFamily>(plan.families, plan.families + plan.family_count), row.families) << row.mode;
  }
}

TEST(RuntimeSearch, VersionTestComparesLeadingNumbersAsAPair) {
  const JavaVersion min14 = RequiredVersion(0x00010004);
  for (const char* accepted : {"1.4", "1.4.2", "1.4.2_19", "1.10", "2.0", "9", "11", "17.0.2", "21", "1.5.0"}) {
    EXPECT_TRUE(IsVersionAcceptable(accepted, min14)) << accepted;
  }
  for (const char* refused : {"1.3.1", "1.3", "1", "0.9", "", "abc", "v17", ".4", " 1.4"}) {
    EXPECT_FALSE(IsVersionAcceptable(refused, min14)) << refused;
  }
  const JavaVersion min17 = RequiredVersion(0x00110000);
  EXPECT_TRUE(IsVersionAcceptable("17", min17));
  EXPECT_TRUE(IsVersionAcceptable("21.0.1", min17));
  EXPECT_FALSE(IsVersionAcceptable("11.0.20", min17));
  EXPECT_FALSE(IsVersionAcceptable("1.8", min17));
  // No minimum at all (a MinJavaVersion without hexadecimal digits reads as 0): any number passes.
  EXPECT_TRUE(IsVersionAcceptable("0.1", RequiredVersion(0)));
  EXPECT_FALSE(IsVersionAcceptable("beta", RequiredVersion(0)));
  EXPECT_EQ(RequiredVersion(0x00010018).minor, 8u);
  EXPECT_EQ(RequiredVersion(0x00150000).major, 21u);
}

TEST(RuntimeSearch, RuntimeVersionsRankByEveryNumberTheyCarry) {
  const std::pair<const char*, const char*> lower_higher[] = {
      {"17.0.2", "17.0.2.8"},   {"17.0.9", "17.0.10"}, {"1.8.0_91", "1.8.0_392"}, {"17.0.9", "21"}, {"17", "17+35"},
      {"11.0.20", "11.0.20.1"}, {"1.8", "9"},
  };
  for (const auto& [lower, higher] : lower_higher) {
    ASSERT_TRUE(ParseRuntimeVersion(lower) && ParseRuntimeVersion(higher)) << lower << " " << higher;
    EXPECT_TRUE(*ParseRuntimeVersion(lower) < *ParseRuntimeVersion(higher)) << lower << " < " << higher;
    EXPECT_FALSE(*ParseRuntimeVersion(higher) < *ParseRuntimeVersion(lower)) << higher;
  }
  EXPECT_FALSE(*ParseRuntimeVersion("17.0.2") < *ParseRuntimeVersion("17.0.2.x"));  // equal: no fifth part
  for (const char* none : {"", "zulu-17", "jdk-17", ".17", "v1"}) EXPECT_FALSE(ParseRuntimeVersion(none)) << none;
}

TEST(RuntimeSearch, ReleaseFileNamesTheVersionOnItsJavaVersionLine) {
  const std::pair<const char*, const char*> cases[] = {
      {"IMPLEMENTOR=\"Eclipse Adoptium\"\nJAVA_VERSION=\"17.0.2\"\nOS_NAME=\"Windows\"\n", "17.0.2"},
      {"JAVA_VERSION=\"1.8.0_392\"\r\nOS_ARCH=\"amd64\"\r\n", "1.8.0_392"},
      {"JAVA_VERSION=21", "21"},
      {"JAVA_VERSION_DATE=\"2022-01-18\"\nIMPLEMENTOR=\"x\"\n", ""},
      {"", ""},
  };
  for (const auto& [text, version] : cases) EXPECT_EQ(ReleaseVersion(text), version) << text;
}

TEST(RuntimeSearch, HomeAndDllFolderOfALibraryFollowTheBinVariantLayout) {
  struct Row {
    const char* library;
    const char* home;
    const char* bin;
  };
  const Row rows[] = {
      {"C:\\jdk-17\\bin\\server\\jvm.dll", "C:\\jdk-17", "C:\\jdk-17\\bin"},
      {"runtime\\bin\\server\\jvm.dll", "runtime", "runtime\\bin"},
      {"C:/jre/BIN/client/jvm.dll", "C:/jre", "C:/jre/BIN"},
      {"bin\\server\\jvm.dll", ".", "bin"},
      {"C:\\bin\\server\\jvm.dll", "C:\\", "C:\\bin"},
      {"C:\\j2sdk\\jre\\bin\\client\\jvm.dll", "C:\\j2sdk\\jre", "C:\\j2sdk\\jre\\bin"},
      {"C:\\app\\jvm.dll", "", "C:\\app"},
      {"C:\\app\\lib\\server\\jvm.dll", "", "C:\\app\\lib\\server"},
      {"jvm.dll", "", ""},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(HomeOfLibrary(row.library), row.home) << row.library;
    EXPECT_EQ(RuntimeBinFolder(row.library), row.bin) << row.library;
  }
}

std::string DosHeader(std::uint32_t pe_offset) {
  std::string header(64, '\0');
  header[0] = 'M';
  header[1] = 'Z';
  for (int i = 0; i < 4; ++i) header[0x3C + i] = static_cast<char>((pe_offset >> (8 * i)) & 0xFF);
  return header;
}

TEST(RuntimeSearch, PeHeaderGivesTheMachineAndTheRefusalSaysWhatItIs) {
  EXPECT_EQ(PeHeaderOffset(DosHeader(0x80)), 0x80u);
  EXPECT_EQ(PeHeaderOffset(DosHeader(0x12345678)), 0x12345678u);
  EXPECT_EQ(PeHeaderOffset(std::string("\x7F" "ELF") + std::string(60, '\0')), std::nullopt);
  EXPECT_EQ(PeHeaderOffset("MZ"), std::nullopt);  // shorter than a DOS header
  EXPECT_EQ(PeMachine(std::string("PE\0\0\x4C\x01", 6)), kMachineX86);
  EXPECT_EQ(PeMachine(std::string("PE\0\0\x64\x86", 6)), kMachineX64);
  EXPECT_EQ(PeMachine(std::string("NE\0\0\x64\x86", 6)), std::nullopt);
  EXPECT_EQ(PeMachine(std::string("PE\0\0\x64", 5)), std::nullopt);

  EXPECT_EQ(ForeignLibraryText("C:\\jre\\bin\\client\\jvm.dll", kMachineX86, kMachineX64),
            "C:\\jre\\bin\\client\\jvm.dll is an x86 library; this launcher is x64.");
  EXPECT_EQ(ForeignLibraryText("jvm.dll", kMachineX64, kMachineX86), "jvm.dll is an x64 library; this launcher is x86.");
  EXPECT_EQ(ForeignLibraryText("jvm.dll", kMachineArm64, kMachineX64),
            "jvm.dll is an ARM64 library; this launcher is x64.");
  EXPECT_EQ(ForeignLibraryText("jvm.dll", kMachineX64, kMachineArm64),
            "jvm.dll is an x64 library; this launcher is ARM64.");
  EXPECT_EQ(ForeignLibraryText("jvm.dll", 0x01C4, kMachineX64),
            "jvm.dll is a machine type 0x01C4 library; this launcher is x64.");
}

TEST(RuntimeSearch, TraceLineHasFiveFieldsWithoutInnerTabsOrLineBreaks) {
  EXPECT_EQ(TraceLine("registry", "HKLM\\k", "C:\\a\\jvm.dll", "17", "too old"),
            "registry\tHKLM\\k\tC:\\a\\jvm.dll\t17\ttoo old");
  EXPECT_EQ(TraceLine("", "", "", "", ""), "\t\t\t\t");
  EXPECT_EQ(TraceLine("JvmPath", "", "a\tb\r\nc", "", "x"), "JvmPath\t\ta b  c\t\tx");
}

// An in-memory registry: string values by root, key and name, other-typed values, and subkeys in the
// order the registry would enumerate them.
class FakeRegistry : public RuntimeRegistry {
 public:
  void SetString(const std::string& key, const std::string& name, const std::string& value, RegistryRoot root = kHklm) {
    AddKey(root, key);
    strings_[{Label(root, key), name}] = value;
  }
  void SetDword(const std::string& key, const std::string&) { AddKey(kHklm, key); }  // reads as no string
  void AddSubkey(const std::string& key, const std::string& name, RegistryRoot root = kHklm) {
    AddKey(root, key + "\\" + name);
  }

  bool ReadString(RegistryRoot root, const std::string& key_path, const char* value_name, std::size_t buffer_size,
                  std::string& value) const override {
    value.clear();
    reads.push_back(Label(root, key_path) + "@" + value_name);
    auto it = strings_.find({Label(root, key_path), value_name});
    if (it == strings_.end() || it->second.size() >= buffer_size) return false;
    value = it->second;
    return true;
  }
  std::optional<std::vector<std::string>> SubkeyNames(RegistryRoot root, const std::string& key_path) const override {
    reads.push_back(Label(root, key_path) + "@");
    if (!keys_.count(Label(root, key_path))) return std::nullopt;
    auto it = subkeys_.find(Label(root, key_path));
    return it == subkeys_.end() ? std::vector<std::string>{} : it->second;
  }

  mutable std::vector<std::string> reads;

 private:
  static std::string Label(RegistryRoot root, const std::string& key) {
    return (root == kHklm ? "HKLM\\" : "HKCU\\") + key;
  }
  // Creates the key and every parent, each listed once among its parent's subkeys.
  void AddKey(RegistryRoot root, const std::string& key) {
    if (keys_.count(Label(root, key))) return;
    keys_.insert(Label(root, key));
    const std::size_t slash = key.rfind('\\');
    if (slash == std::string::npos) return;
    AddKey(root, key.substr(0, slash));
    subkeys_[Label(root, key.substr(0, slash))].push_back(key.substr(slash + 1));
  }

  std::set<std::string> keys_;
  std::map<std::pair<std::string, std::string>, std::string> strings_;
  std::map<std::string, std::vector<std::string>> subkeys_;
};

class FakeFiles : public RuntimeFiles {
 public:
  std::optional<std::uint16_t> LibraryMachine(const std::string& path) const override {
    auto it = libraries.find(path);
    if (it == libraries.end()) return std::nullopt;
    return it->second;
  }
  bool IsDirectory(const std::string& path) const override { return directories.count(path) > 0; }
  std::string ReadSmallFile(const std::string& path) const override {
    auto it = texts.find(path);
    return it == texts.end() ? std::string() : it->second;
  }

  std::map<std::string, std::uint16_t> libraries;  // path -> PE machine, 0 for a file without one
  std::set<std::string> directories;
  std::map<std::string, std::string> texts;
};

class RecordingTrace : public SearchTrace {
 public:
  void Line(const std::string& line) override { lines.push_back(line); }
  std::vector<std::string> lines;
};

class RuntimeSearchTest : public ::testing::Test {
 protected:
  std::optional<std::string> Choose(int mode, const std::string& jvm_path = "", std::uint32_t min = 0x00010004) {
    const RuntimeSearch search{registry_,      files_,      RequiredVersion(min), jvm_path,
                               java_home_env_, kMachineX64, trace_on_ ? &trace_ : nullptr};
    const std::optional<ResolvedRuntime> chosen = ChooseJvmLibrary(search, mode);
    if (!chosen) return std::nullopt;
    java_home_ = chosen->java_home;
    return chosen->library;
  }
  void AddRuntime(const std::string& vendor, const std::string& version, const std::string& home,
                  const std::string& lib) {
    registry_.AddSubkey(vendor, version);
    if (!home.empty()) registry_.SetString(vendor + "\\" + version, "JavaHome", home);
    if (!lib.empty()) registry_.SetString(vendor + "\\" + version, "RuntimeLib", lib);
  }
  // A runtime of the current kind at home: bin\server\jvm.dll built for the given machine.
  void AddLibrary(const std::string& home, std::uint16_t machine = kMachineX64) {
    files_.libraries[home + "\\bin\\server\\jvm.dll"] = machine;
  }
  void AddFiles(std::initializer_list<std::string> paths) {
    for (const std::string& path : paths) files_.libraries[path] = kMachineX64;
  }
  bool ReadAnything(const std::string& key) const {
    for (const std::string& read : registry_.reads) {
      if (read.find(key) != std::string::npos) return true;
    }
    return false;
  }

  FakeRegistry registry_;
  FakeFiles files_;
  RecordingTrace trace_;
  bool trace_on_ = false;
  std::string java_home_env_;
  std::string java_home_;
};

// --- The first-generation search, as it always was

TEST_F(RuntimeSearchTest, ExistingConfiguredPathWinsWithoutTouchingTheRegistry) {
  AddFiles({"j2re1.4.2\\bin\\client\\jvm.dll", "C:\\jre\\bin\\client\\jvm.dll"});
  AddRuntime(kJre, "1.4.2", "C:\\jre", "C:\\jre\\bin\\client\\jvm.dll");
  EXPECT_EQ(Choose(0, "j2re1.4.2\\bin\\client\\jvm.dll"), "j2re1.4.2\\bin\\client\\jvm.dll");
  EXPECT_TRUE(registry_.reads.empty());
  EXPECT_EQ(java_home_, "j2re1.4.2");  // the home of the library really used
  AddFiles({"app\\jvm.dll"});
  EXPECT_EQ(Choose(0, "app\\jvm.dll"), "app\\jvm.dll");
  EXPECT_EQ(java_home_, "");  // a library in no Java home
}

TEST_F(RuntimeSearchTest, CurrentVersionFirstThenEnumerationOrderAndTheFirstAcceptableWins) {
  registry_.SetString(kJre, "CurrentVersion", "1.3");
  AddRuntime(kJre, "1.3", "C:\\j13", "C:\\j13\\jvm.dll");
  AddRuntime(kJre, "1.4.2", "C:\\j142", "C:\\j142\\jvm.dll");
  AddRuntime(kJre, "1.5.0", "C:\\j150", "C:\\j150\\jvm.dll");
  AddFiles({"C:\\j13\\jvm.dll", "C:\\j142\\jvm.dll", "C:\\j150\\jvm.dll"});
  EXPECT_EQ(Choose(0, "missing\\jvm.dll"), "C:\\j142\\jvm.dll");
  EXPECT_EQ(java_home_, "C:\\j142");

  registry_.SetString(kJre, "CurrentVersion", "1.5.0");
  EXPECT_EQ(Choose(0), "C:\\j150\\jvm.dll");
}

TEST_F(RuntimeSearchTest, NonStringRuntimeLibCountsAsMissingSoTheHomeCandidatesAreTried) {
  AddRuntime(kJdk, "1.4.2", "C:\\j2sdk1.4.2", "");
  registry_.SetDword(std::string(kJdk) + "\\1.4.2", "RuntimeLib");
  // A first-generation home is searched from jre\bin\client on, even where it has a bin\server too.
  AddFiles({"C:\\j2sdk1.4.2\\bin\\server\\jvm.dll", "C:\\j2sdk1.4.2\\jre\\bin\\server\\jvm.dll",
            "C:\\j2sdk1.4.2\\jre\\bin\\classic\\jvm.dll"});
  EXPECT_EQ(Choose(0), "C:\\j2sdk1.4.2\\jre\\bin\\server\\jvm.dll");
  AddFiles({"C:\\j2sdk1.4.2\\jre\\bin\\client\\jvm.dll"});
  EXPECT_EQ(Choose(0), "C:\\j2sdk1.4.2\\jre\\bin\\client\\jvm.dll");
  EXPECT_EQ(java_home_, "C:\\j2sdk1.4.2");
}

TEST_F(RuntimeSearchTest, ConfiguredPathIsTriedBelowTheHomeBeforeTheCandidates) {
  AddRuntime(kJdk, "1.4.2", "C:\\j2sdk1.4.2", "");
  AddFiles({"C:\\j2sdk1.4.2\\jre\\bin\\client\\jvm.dll", "C:\\j2sdk1.4.2\\custom\\jvm.dll"});
  EXPECT_EQ(Choose(0, "custom\\jvm.dll"), "C:\\j2sdk1.4.2\\custom\\jvm.dll");
  EXPECT_EQ(Choose(0, "other\\jvm.dll"), "C:\\j2sdk1.4.2\\jre\\bin\\client\\jvm.dll");
}

// A version too old is never opened; a missing RuntimeLib refuses its version even with a usable home,
// and so does a version without home or library.
TEST_F(RuntimeSearchTest, RefusedVersionsAreNeverOpenedAndAMissingLibraryRefusesItsVersion) {
  AddRuntime(kJre, "1.3.1", "C:\\old", "C:\\old\\jvm.dll");
  AddRuntime(kJre, "1.6", "C:\\j16", "C:\\j16\\bin\\missing.dll");
  AddRuntime(kIbmJre, "1.4.2", "", "");
  AddFiles({"C:\\old\\jvm.dll", "C:\\j16\\jre\\bin\\client\\jvm.dll", "jre\\bin\\client\\jvm.dll"});
  EXPECT_EQ(Choose(0), std::nullopt);
  EXPECT_FALSE(ReadAnything(std::string(kJre) + "\\1.3.1"));
}

// ... and no key of the other family, of any generation.
TEST_F(RuntimeSearchTest, EachModeReadsTheFirstGenerationKeysOfItsFamiliesInOrder) {
  struct Row {
    int mode;
    std::vector<std::string> keys;
    std::vector<const char*> unread;
  };
  const std::vector<const char*> kits = {"Development Kit", "\\JDK"}, runtimes = {"Runtime Environment", "\\JRE"};
  const Row rows[] = {
      {0, {kJre, kIbmJre, kJdk, kIbmJdk}, {}}, {1, {kJdk, kIbmJdk, kJre, kIbmJre}, {}},
      {2, {kJre, kIbmJre}, kits},              {3, {kJdk, kIbmJdk}, runtimes},
      {6, {kJre, kIbmJre}, kits},              {7, {kJdk, kIbmJdk}, runtimes},
  };
  for (const Row& row : rows) {
    registry_.reads.clear();
    EXPECT_EQ(Choose(row.mode), std::nullopt);
    std::vector<std::string> listed;  // the first-generation keys whose versions were listed, in order
    for (const std::string& read : registry_.reads) {
      for (const char* key : {kJre, kIbmJre, kJdk, kIbmJdk}) {
        if (read == "HKLM\\" + std::string(key) + "@") listed.push_back(key);
      }
    }
    EXPECT_EQ(listed, row.keys) << row.mode;
    for (const char* other : row.unread) EXPECT_FALSE(ReadAnything(other)) << row.mode << " read " << other;
  }
}

TEST_F(RuntimeSearchTest, OverlongKeyAndLibraryPathsAreSkippedAsNotFound) {
  const std::string long_version = "1.4." + std::string(kKeyPathSize, '9');
  AddRuntime(kJre, long_version, "C:\\jre", "C:\\jre\\jvm.dll");
  const std::string long_home = "C:\\" + std::string(kLibraryPathSize - 20, 'h');
  AddRuntime(kIbmJre, "1.4.2", long_home, "");
  AddFiles({"C:\\jre\\jvm.dll", long_home + "\\jre\\bin\\client\\jvm.dll"});
  EXPECT_EQ(Choose(0), std::nullopt);

  AddRuntime(kJdk, "1.4.2", "C:\\ok", "");
  AddFiles({"C:\\ok\\jre\\bin\\classic\\jvm.dll"});
  EXPECT_EQ(Choose(0), "C:\\ok\\jre\\bin\\classic\\jvm.dll");
}

TEST_F(RuntimeSearchTest, LibrariesOfAnotherMachineAreSkippedButAConfiguredOneIsLeftToTheLoader) {
  AddRuntime(kJre, "1.6", "C:\\j32", "C:\\j32\\bin\\client\\jvm.dll");
  files_.libraries["C:\\j32\\bin\\client\\jvm.dll"] = kMachineX86;
  AddRuntime(kJdk, "1.6", "C:\\jdk", "");
  files_.libraries["C:\\jdk\\jre\\bin\\client\\jvm.dll"] = kMachineArm64;
  files_.libraries["C:\\jdk\\jre\\bin\\server\\jvm.dll"] = kMachineX64;
  EXPECT_EQ(Choose(0), "C:\\jdk\\jre\\bin\\server\\jvm.dll");

  files_.libraries["x86\\bin\\client\\jvm.dll"] = kMachineX86;
  EXPECT_EQ(Choose(0, "x86\\bin\\client\\jvm.dll"), "x86\\bin\\client\\jvm.dll");
  files_.libraries["notpe\\jvm.dll"] = 0;  // no PE header: the loader will say what it is
  EXPECT_EQ(Choose(0, "notpe\\jvm.dll"), "notpe\\jvm.dll");
  AddRuntime(kIbmJre, "1.7", "", "C:\\j17\\jvm.dll");
  files_.libraries["C:\\j17\\jvm.dll"] = 0;  // the same for a registered one
  EXPECT_EQ(Choose(0), "C:\\j17\\jvm.dll");
}

// --- What comes after it: the current vendor layouts, then JAVA_HOME

TEST_F(RuntimeSearchTest, EachCurrentLayoutIsReadAtItsVendorsPath) {
  struct Row {
    const char* key;  // where the vendor's installer writes the home
    const char* value;
    int mode;  // one that searches the layout's family
  };
  const Row rows[] = {
      {"Software\\JavaSoft\\JRE\\17", "JavaHome", 2},
      {"Software\\JavaSoft\\JDK\\17.0.2", "JavaHome", 3},
      {"Software\\Eclipse Adoptium\\JRE\\17.0.2.8\\hotspot\\MSI", "Path", 2},
      {"Software\\Eclipse Adoptium\\JDK\\17.0.2.8\\hotspot\\MSI", "Path", 3},
      {"Software\\AdoptOpenJDK\\JRE\\17.0.1.12\\hotspot\\MSI", "Path", 2},
      {"Software\\AdoptOpenJDK\\JRE\\17.0.1.12\\openj9\\MSI", "Path", 2},
      {"Software\\AdoptOpenJDK\\JDK\\17.0.1.12\\hotspot\\MSI", "Path", 3},
      {"Software\\AdoptOpenJDK\\JDK\\17.0.1.12\\openj9\\MSI", "Path", 3},
      {"Software\\Microsoft\\JDK\\17.0.2.8\\hotspot\\MSI", "Path", 3},
  };
  for (const Row& row : rows) {
    registry_ = FakeRegistry();
    registry_.SetString(row.key, row.value, "C:\\Program Files\\Vendor\\jdk-17\\");
    AddLibrary("C:\\Program Files\\Vendor\\jdk-17");
    EXPECT_EQ(Choose(row.mode, "", 0x00110000), "C:\\Program Files\\Vendor\\jdk-17\\bin\\server\\jvm.dll") << row.key;
    EXPECT_EQ(java_home_, "C:\\Program Files\\Vendor\\jdk-17") << row.key;
    EXPECT_EQ(Choose(row.mode ^ 1, "", 0x00110000), std::nullopt) << row.key << ": the other family only";
  }
}

TEST_F(RuntimeSearchTest, HighestAcceptableVersionWinsAcrossLayoutsAndRootsAndTheFirstWinsATie) {
  registry_.SetString("Software\\JavaSoft\\JDK\\17.0.2", "JavaHome", "C:\\oracle17");
  registry_.SetString("Software\\Eclipse Adoptium\\JDK\\21.0.1.12\\hotspot\\MSI", "Path", "C:\\temurin21");
  registry_.SetString("Software\\Microsoft\\JDK\\21.0.1.12\\hotspot\\MSI", "Path", "C:\\ms21");
  registry_.SetString("Software\\Eclipse Adoptium\\JRE\\11.0.20.8\\hotspot\\MSI", "Path", "C:\\jre11");
  registry_.SetString("Software\\Microsoft\\JDK\\21.0.1.12\\hotspot\\MSI", "Path", "C:\\user21", kHkcu);
  for (const char* home : {"C:\\oracle17", "C:\\temurin21", "C:\\ms21", "C:\\jre11", "C:\\user21"}) AddLibrary(home);
  EXPECT_EQ(Choose(0), "C:\\temurin21\\bin\\server\\jvm.dll");  // layout order decides the tie
  EXPECT_EQ(Choose(1), "C:\\temurin21\\bin\\server\\jvm.dll");

  registry_.SetString("Software\\Eclipse Adoptium\\JDK\\21.0.1.12\\hotspot\\MSI", "Path", "C:\\gone");
  EXPECT_EQ(Choose(0), "C:\\ms21\\bin\\server\\jvm.dll");  // a stale key is skipped
  registry_.SetString("Software\\Microsoft\\JDK\\21.0.1.12\\hotspot\\MSI", "Path", "C:\\gone");
  EXPECT_EQ(Choose(0), "C:\\user21\\bin\\server\\jvm.dll");  // HKLM before HKCU, HKCU still counts
  AddLibrary("C:\\user21", kMachineX86);
  EXPECT_EQ(Choose(0), "C:\\oracle17\\bin\\server\\jvm.dll");  // another machine's library is skipped
  EXPECT_EQ(Choose(0, "", 0x00120000), std::nullopt);          // too old
  EXPECT_EQ(Choose(2), "C:\\jre11\\bin\\server\\jvm.dll");     // only the runtime-environment family
}

TEST_F(RuntimeSearchTest, CurrentVersionWinsATieAndRuntimeLibIsPreferredWhenItServes) {
  registry_.SetString("Software\\JavaSoft\\JDK\\17", "JavaHome", "C:\\a");
  registry_.SetString("Software\\JavaSoft\\JDK\\17.0.0", "JavaHome", "C:\\b");
  registry_.SetString("Software\\JavaSoft\\JDK", "CurrentVersion", "17.0.0");
  AddLibrary("C:\\a");
  AddLibrary("C:\\b");
  EXPECT_EQ(Choose(3), "C:\\b\\bin\\server\\jvm.dll");

  registry_.SetString("Software\\JavaSoft\\JDK\\17.0.0", "RuntimeLib", "C:\\b\\bin\\client\\jvm.dll");
  AddFiles({"C:\\b\\bin\\client\\jvm.dll"});
  EXPECT_EQ(Choose(3), "C:\\b\\bin\\client\\jvm.dll");
  registry_.SetString("Software\\JavaSoft\\JDK\\17.0.0", "RuntimeLib", "C:\\b\\stale\\jvm.dll");
  EXPECT_EQ(Choose(3), "C:\\b\\bin\\server\\jvm.dll");  // unlike the first-generation keys
}

TEST_F(RuntimeSearchTest, VersionComesFromTheReleaseFileWhenTheKeyNameIsNone) {
  registry_.SetString("Software\\Eclipse Adoptium\\JDK\\current\\hotspot\\MSI", "Path", "C:\\t");
  AddLibrary("C:\\t");
  EXPECT_EQ(Choose(3), std::nullopt);  // no version at all
  files_.texts["C:\\t\\release"] = "JAVA_VERSION=\"17.0.2\"\n";
  EXPECT_EQ(Choose(3, "", 0x00110000), "C:\\t\\bin\\server\\jvm.dll");
  EXPECT_EQ(Choose(3, "", 0x00120000), std::nullopt);
}

TEST_F(RuntimeSearchTest, TheFirstGenerationKeysAndTheConfiguredPathKeepTheirPlaces) {
  registry_.SetString("Software\\Eclipse Adoptium\\JRE\\21.0.1.12\\hotspot\\MSI", "Path", "C:\\temurin21");
  AddLibrary("C:\\temurin21");
  AddRuntime(kJre, "1.8", "C:\\jre8", "C:\\jre8\\bin\\server\\jvm.dll");
  AddFiles({"C:\\jre8\\bin\\server\\jvm.dll", "local\\jvm.dll"});
  for (int mode : {0, 1, 2, 4, 5, 6}) EXPECT_EQ(Choose(mode), "C:\\jre8\\bin\\server\\jvm.dll") << mode;
  EXPECT_EQ(Choose(4, "local\\jvm.dll"), "C:\\jre8\\bin\\server\\jvm.dll");
  registry_.SetString(std::string(kJre) + "\\1.8", "RuntimeLib", "C:\\gone\\jvm.dll");
  EXPECT_EQ(Choose(4, "local\\jvm.dll"), "local\\jvm.dll");  // the configured path, then the new layouts
  EXPECT_EQ(Choose(4), "C:\\temurin21\\bin\\server\\jvm.dll");
  EXPECT_EQ(Choose(0, "gone\\jvm.dll", 0x00160000), std::nullopt);
}

TEST_F(RuntimeSearchTest, JavaHomeComesLastAndIsJudgedByItsReleaseFile) {
  java_home_env_ = "D:\\jdk-17\\";
  AddLibrary("D:\\jdk-17");
  EXPECT_EQ(Choose(0), std::nullopt);  // no release file: no version
  files_.texts["D:\\jdk-17\\release"] = "JAVA_VERSION=\"17.0.2\"\n";
  for (int mode : {0, 3, 7}) EXPECT_EQ(Choose(mode, "gone.dll"), "D:\\jdk-17\\bin\\server\\jvm.dll") << mode;
  EXPECT_EQ(java_home_, "D:\\jdk-17");
  EXPECT_EQ(Choose(0, "", 0x00150000), std::nullopt);
  java_home_env_ = "C:\\";  // a home at a drive root keeps its separator: "C:" alone names a directory
  AddLibrary("C:\\");
  files_.texts["C:\\\\release"] = "JAVA_VERSION=\"17\"\n";
  ASSERT_TRUE(Choose(0));
  EXPECT_EQ(java_home_, "C:\\");

  registry_.SetString("Software\\JavaSoft\\JRE\\11", "JavaHome", "C:\\jre11");
  AddLibrary("C:\\jre11");
  EXPECT_EQ(Choose(0), "C:\\jre11\\bin\\server\\jvm.dll");  // every registry source comes first
}

TEST_F(RuntimeSearchTest, ConfiguredDirectoryIsAJavaHomeSearchedInCandidateOrder) {
  files_.directories = {"runtime", "C:\\jdk\\"};
  AddFiles({"runtime\\jre\\bin\\client\\jvm.dll"});
  EXPECT_EQ(Choose(0, "runtime"), "runtime\\jre\\bin\\client\\jvm.dll");
  EXPECT_EQ(java_home_, "runtime");
  AddFiles({"runtime\\bin\\client\\jvm.dll"});
  EXPECT_EQ(Choose(0, "runtime"), "runtime\\bin\\client\\jvm.dll");
  AddFiles({"runtime\\bin\\server\\jvm.dll"});
  EXPECT_EQ(Choose(0, "runtime"), "runtime\\bin\\server\\jvm.dll");
  AddFiles({"C:\\jdk\\bin\\server\\jvm.dll"});
  EXPECT_EQ(Choose(4, "C:\\jdk\\"), "C:\\jdk\\bin\\server\\jvm.dll");
  EXPECT_EQ(java_home_, "C:\\jdk");
  EXPECT_EQ(Choose(0, "empty"), std::nullopt);
}

TEST_F(RuntimeSearchTest, TraceNamesEveryStepWithItsOutcomeAndTheChoice) {
  trace_on_ = true;
  registry_.SetString("Software\\JavaSoft\\JRE\\11", "JavaHome", "C:\\jre11");
  AddLibrary("C:\\jre11");
  registry_.SetString("Software\\Microsoft\\JDK\\17.0.2.8\\hotspot\\MSI", "Path", "C:\\gone");
  EXPECT_EQ(Choose(0, "missing\\jvm.dll", 0x00110000), std::nullopt);
  const std::vector<std::string> failed = trace_.lines;
  EXPECT_EQ(failed.front(), "JvmPath\t\tmissing\\jvm.dll\t\tmissing");
  auto has = [](const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  };
  EXPECT_TRUE(has(failed, "legacy\tHKLM\\Software\\JavaSoft\\Java Runtime Environment\t\t\tabsent"));
  EXPECT_TRUE(has(failed, "registry\tHKLM\\Software\\JavaSoft\\JRE\\11\tC:\\jre11\t11\ttoo old"));
  EXPECT_TRUE(has(failed,
                  "registry\tHKLM\\Software\\Microsoft\\JDK\\17.0.2.8\\hotspot\\MSI\t"
                  "C:\\gone\\bin\\server\\jvm.dll\t17.0.2.8\tmissing"));
  EXPECT_TRUE(has(failed, "registry\tHKCU\\Software\\Microsoft\\JDK\t\t\tabsent"));
  EXPECT_TRUE(has(failed, "JAVA_HOME\t\t\t\tnot set"));
  EXPECT_EQ(failed.back(), "search\t\t\t\tnothing found");

  trace_.lines.clear();
  EXPECT_EQ(Choose(0, "missing\\jvm.dll"), "C:\\jre11\\bin\\server\\jvm.dll");
  EXPECT_TRUE(
      has(trace_.lines, "registry\tHKLM\\Software\\JavaSoft\\JRE\\11\tC:\\jre11\\bin\\server\\jvm.dll\t11\tusable"));
  EXPECT_EQ(trace_.lines.back(), "registry\t\tC:\\jre11\\bin\\server\\jvm.dll\t11\tchosen");
  EXPECT_FALSE(has(trace_.lines, "JAVA_HOME\t\t\t\tnot set"));  // the search ends with its choice
}

}  // namespace
}  // namespace stub
