#include "runtime/runtime_search.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace stub {
namespace {

constexpr char kJre[] = "Software\\JavaSoft\\Java Runtime Environment";
constexpr char kIbmJre[] = "Software\\IBM\\Java2 Runtime Environment";
constexpr char kJdk[] = "Software\\JavaSoft\\Java Development Kit";
constexpr char kIbmJdk[] = "Software\\IBM\\Java Development Kit";

TEST(RuntimeSearch, ModeTableGivesOrderAndPlaceOfTheConfiguredPath) {
  struct Row {
    int mode;
    bool registry_first;
    std::vector<int> keys;
  };
  const Row rows[] = {
      {0, false, {0, 1, 2, 3}}, {1, false, {2, 3, 0, 1}},  {2, false, {0, 1}},
      {3, false, {2, 3}},       {4, true, {0, 1, 2, 3}},   {5, true, {2, 3, 0, 1}},
      {6, true, {0, 1}},        {7, true, {2, 3}},         {8, true, {0, 1, 2, 3}},
      {12, true, {0, 1, 2, 3}}, {-1, false, {0, 1, 2, 3}}, {-2147483647 - 1, false, {0, 1, 2, 3}},
  };
  for (const Row& row : rows) {
    const SearchPlan plan = SearchPlanForMode(row.mode);
    EXPECT_EQ(plan.registry_first, row.registry_first) << row.mode;
    EXPECT_EQ(plan.vendor_keys, row.keys) << row.mode;
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
}

TEST(RuntimeSearch, RequiredMinorIsTheLowestFourBits) {
  EXPECT_EQ(RequiredVersion(0x00010004).major, 1u);
  EXPECT_EQ(RequiredVersion(0x00010004).minor, 4u);
  EXPECT_EQ(RequiredVersion(0x00010018).minor, 8u);
  EXPECT_EQ(RequiredVersion(0x00150000).major, 21u);
}

// An in-memory registry: string values by key and name, other-typed values, and subkeys in the order
// the registry would enumerate them.
class FakeRegistry : public RuntimeRegistry {
 public:
  void SetString(const std::string& key, const std::string& name, const std::string& value) {
    keys_.insert(key);
    strings_[{key, name}] = value;
  }
  void SetDword(const std::string& key, const std::string& name) {
    keys_.insert(key);
    dwords_.insert({key, name});
  }
  void AddSubkey(const std::string& key, const std::string& name) {
    keys_.insert(key);
    keys_.insert(key + "\\" + name);
    subkeys_[key].push_back(name);
  }

  int ReadString(const std::string& key_path, const char* value_name, std::size_t buffer_size,
                 std::string& value) const override {
    value.clear();
    reads.push_back(key_path + "@" + value_name);
    if (!keys_.count(key_path)) return -1;
    auto it = strings_.find({key_path, value_name});
    if (it == strings_.end() || it->second.size() >= buffer_size) return 1;
    value = it->second;
    return 0;
  }
  std::optional<std::vector<std::string>> SubkeyNames(const std::string& key_path) const override {
    if (!keys_.count(key_path)) return std::nullopt;
    auto it = subkeys_.find(key_path);
    return it == subkeys_.end() ? std::vector<std::string>{} : it->second;
  }

  mutable std::vector<std::string> reads;

 private:
  std::set<std::string> keys_;
  std::map<std::pair<std::string, std::string>, std::string> strings_;
  std::set<std::pair<std::string, std::string>> dwords_;
  std::map<std::string, std::vector<std::string>> subkeys_;
};

class RuntimeSearchTest : public ::testing::Test {
 protected:
  std::optional<std::string> Choose(int mode, const std::string& jvm_path = "") {
    RuntimeSearch search{registry_, probe_, RequiredVersion(0x00010004), jvm_path, java_home_};
    return ChooseJvmLibrary(search, mode);
  }
  void AddRuntime(const std::string& vendor, const std::string& version, const std::string& home,
                  const std::string& lib) {
    registry_.AddSubkey(vendor, version);
    if (!home.empty()) registry_.SetString(vendor + "\\" + version, "JavaHome", home);
    if (!lib.empty()) registry_.SetString(vendor + "\\" + version, "RuntimeLib", lib);
  }
  bool ReadAnything(const std::string& vendor) const {
    for (const std::string& read : registry_.reads) {
      if (read.rfind(vendor, 0) == 0) return true;
    }
    return false;
  }

  FakeRegistry registry_;
  std::set<std::string> files_;
  FileProbe probe_ = [this](const std::string& path) { return files_.count(path) > 0; };
  std::string java_home_;
};

TEST_F(RuntimeSearchTest, ExistingConfiguredPathWinsWithoutTouchingTheRegistry) {
  files_ = {"j2re1.4.2\\bin\\client\\jvm.dll", "C:\\jre\\bin\\client\\jvm.dll"};
  AddRuntime(kJre, "1.4.2", "C:\\jre", "C:\\jre\\bin\\client\\jvm.dll");
  EXPECT_EQ(Choose(0, "j2re1.4.2\\bin\\client\\jvm.dll"), "j2re1.4.2\\bin\\client\\jvm.dll");
  EXPECT_TRUE(registry_.reads.empty());
  EXPECT_EQ(java_home_, "");
}

TEST_F(RuntimeSearchTest, CurrentVersionFirstThenEnumerationOrderAndTheFirstAcceptableWins) {
  registry_.SetString(kJre, "CurrentVersion", "1.3");
  AddRuntime(kJre, "1.3", "C:\\j13", "C:\\j13\\jvm.dll");
  AddRuntime(kJre, "1.4.2", "C:\\j142", "C:\\j142\\jvm.dll");
  AddRuntime(kJre, "1.5.0", "C:\\j150", "C:\\j150\\jvm.dll");
  files_ = {"C:\\j13\\jvm.dll", "C:\\j142\\jvm.dll", "C:\\j150\\jvm.dll"};
  EXPECT_EQ(Choose(0, "missing\\jvm.dll"), "C:\\j142\\jvm.dll");
  EXPECT_EQ(java_home_, "C:\\j142");

  registry_.SetString(kJre, "CurrentVersion", "1.5.0");
  EXPECT_EQ(Choose(0), "C:\\j150\\jvm.dll");
  ASSERT_FALSE(registry_.reads.empty());
}

TEST_F(RuntimeSearchTest, MissingRuntimeLibRefusesTheVersionEvenWithAUsableHome) {
  AddRuntime(kJre, "1.6", "C:\\j16", "C:\\j16\\bin\\missing.dll");
  files_ = {"C:\\j16\\jre\\bin\\client\\jvm.dll"};
  EXPECT_EQ(Choose(0), std::nullopt);
  EXPECT_EQ(java_home_, "C:\\j16");  // the last version that passed the test
}

TEST_F(RuntimeSearchTest, NonStringRuntimeLibCountsAsMissingSoTheHomeCandidatesAreTried) {
  AddRuntime(kJdk, "1.4.2", "C:\\j2sdk1.4.2", "");
  registry_.SetDword(std::string(kJdk) + "\\1.4.2", "RuntimeLib");
  files_ = {"C:\\j2sdk1.4.2\\jre\\bin\\server\\jvm.dll", "C:\\j2sdk1.4.2\\jre\\bin\\classic\\jvm.dll"};
  EXPECT_EQ(Choose(0), "C:\\j2sdk1.4.2\\jre\\bin\\server\\jvm.dll");
  files_.insert("C:\\j2sdk1.4.2\\jre\\bin\\client\\jvm.dll");
  EXPECT_EQ(Choose(0), "C:\\j2sdk1.4.2\\jre\\bin\\client\\jvm.dll");
}

TEST_F(RuntimeSearchTest, ConfiguredPathIsTriedBelowTheHomeBeforeTheCandidates) {
  AddRuntime(kJdk, "1.4.2", "C:\\j2sdk1.4.2", "");
  files_ = {"C:\\j2sdk1.4.2\\jre\\bin\\client\\jvm.dll", "C:\\j2sdk1.4.2\\custom\\jvm.dll"};
  EXPECT_EQ(Choose(0, "custom\\jvm.dll"), "C:\\j2sdk1.4.2\\custom\\jvm.dll");
  EXPECT_EQ(Choose(0, "other\\jvm.dll"), "C:\\j2sdk1.4.2\\jre\\bin\\client\\jvm.dll");
}

TEST_F(RuntimeSearchTest, VersionWithoutHomeOrLibraryIsRefused) {
  AddRuntime(kJre, "1.4.2", "", "");
  files_ = {"jre\\bin\\client\\jvm.dll"};
  EXPECT_EQ(Choose(0), std::nullopt);
  EXPECT_EQ(java_home_, "");
}

TEST_F(RuntimeSearchTest, RefusedVersionsLeaveTheJavaHomeUntouched) {
  AddRuntime(kJre, "1.3.1", "C:\\old", "C:\\old\\jvm.dll");
  files_ = {"C:\\old\\jvm.dll"};
  java_home_ = "before";
  EXPECT_EQ(Choose(0), std::nullopt);
  EXPECT_EQ(java_home_, "before");
  EXPECT_FALSE(ReadAnything(std::string(kJre) + "\\1.3.1"));
}

TEST_F(RuntimeSearchTest, SearchModesSelectTheVendorKeysAndThePlaceOfTheConfiguredPath) {
  AddRuntime(kJre, "1.4.2", "C:\\jre", "C:\\jre\\jvm.dll");
  AddRuntime(kJdk, "1.5", "C:\\jdk", "C:\\jdk\\jvm.dll");
  files_ = {"C:\\jre\\jvm.dll", "C:\\jdk\\jvm.dll", "local\\jvm.dll"};

  EXPECT_EQ(Choose(1), "C:\\jdk\\jvm.dll");
  EXPECT_EQ(Choose(2), "C:\\jre\\jvm.dll");
  EXPECT_EQ(Choose(3), "C:\\jdk\\jvm.dll");
  EXPECT_EQ(Choose(4, "local\\jvm.dll"), "C:\\jre\\jvm.dll");  // registry before the configured path
  EXPECT_EQ(Choose(0, "local\\jvm.dll"), "local\\jvm.dll");
  EXPECT_EQ(Choose(-1, "local\\jvm.dll"), "local\\jvm.dll");
  EXPECT_EQ(Choose(12, "local\\jvm.dll"), "C:\\jre\\jvm.dll");
}

TEST_F(RuntimeSearchTest, ModeTwoNeverReadsTheDevelopmentKitKeysAndModesThreeAndSevenReadOnlyThem) {
  AddRuntime(kJdk, "1.5", "C:\\jdk", "C:\\jdk\\jvm.dll");
  files_ = {"C:\\jdk\\jvm.dll"};
  EXPECT_EQ(Choose(2), std::nullopt);
  EXPECT_FALSE(ReadAnything(kJdk));
  EXPECT_FALSE(ReadAnything(kIbmJdk));

  registry_.reads.clear();
  AddRuntime(kJre, "1.4.2", "C:\\jre", "C:\\jre\\jvm.dll");
  files_.insert("C:\\jre\\jvm.dll");
  EXPECT_EQ(Choose(7), "C:\\jdk\\jvm.dll");
  EXPECT_FALSE(ReadAnything(kJre));
  EXPECT_FALSE(ReadAnything(kIbmJre));
}

TEST_F(RuntimeSearchTest, RegistryFirstFallsBackToAnExistingConfiguredPath) {
  files_ = {"local\\jvm.dll"};
  EXPECT_EQ(Choose(4, "local\\jvm.dll"), "local\\jvm.dll");
  EXPECT_EQ(Choose(4, "gone\\jvm.dll"), std::nullopt);
  EXPECT_EQ(Choose(0, ""), std::nullopt);
}

TEST_F(RuntimeSearchTest, OverlongKeyAndLibraryPathsAreSkippedAsNotFound) {
  const std::string long_version = "1.4." + std::string(kKeyPathSize, '9');
  AddRuntime(kJre, long_version, "C:\\jre", "C:\\jre\\jvm.dll");
  const std::string long_home = "C:\\" + std::string(kLibraryPathSize - 20, 'h');
  AddRuntime(kIbmJre, "1.4.2", long_home, "");
  files_ = {"C:\\jre\\jvm.dll", long_home + "\\jre\\bin\\client\\jvm.dll"};
  EXPECT_EQ(Choose(0), std::nullopt);

  AddRuntime(kJdk, "1.4.2", "C:\\ok", "");
  files_.insert("C:\\ok\\jre\\bin\\classic\\jvm.dll");
  EXPECT_EQ(Choose(0), "C:\\ok\\jre\\bin\\classic\\jvm.dll");
}

}  // namespace
}  // namespace stub
