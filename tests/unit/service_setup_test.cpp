#include "service/service_setup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "report_recorder.h"

namespace stub {
namespace {

using namespace std::string_literals;

// Records every call with the structure it received, copied field by field; answers with the errors
// configured per call.
class RecordingManager : public ServiceManagerCalls {
 public:
  unsigned long CreateServiceEntry(const ServiceCreation& creation, const char16_t* password) override {
    created.push_back(creation);
    passwords.push_back(password == nullptr ? u"<null>" : password);
    return create_error;
  }
  unsigned long ChangeConfig2(std::uint32_t level, const void* info) override {
    levels.push_back(level);
    if (level == kConfigDelayedAutoStart) delayed.push_back(static_cast<const DelayedAutoStartInfo*>(info)->delayed_auto_start);
    if (level == kConfigFailureActionsFlag) non_crash.push_back(static_cast<const FailureActionsFlag*>(info)->on_non_crash_failures);
    if (level == kConfigPreshutdownInfo) preshutdown.push_back(static_cast<const PreshutdownInfo*>(info)->timeout_ms);
    if (level == kConfigFailureActions) {
      const auto* actions = static_cast<const FailureActions*>(info);
      EXPECT_EQ(actions->reset_period_seconds, 86400u);
      EXPECT_EQ(actions->reboot_message, nullptr);
      EXPECT_EQ(actions->command, nullptr);
      for (std::uint32_t i = 0; i < actions->action_count; ++i) {
        restarts.push_back({actions->actions[i].type, actions->actions[i].delay_ms});
      }
    }
    return level == refused_level ? 87 : 0;
  }
  unsigned long GrantServiceLogonRight(const std::string& account) override {
    granted.push_back(account);
    return grant_error;
  }
  bool ReadPassword(const std::string& prompt, std::u16string& password) override {
    prompts.push_back(prompt);
    password = u"s3cret";
    return has_console;
  }

  unsigned long create_error = 0;
  unsigned long grant_error = 0;
  std::uint32_t refused_level = 0;
  bool has_console = true;
  std::vector<ServiceCreation> created;
  std::vector<std::u16string> passwords;
  std::vector<std::uint32_t> levels;
  std::vector<std::int32_t> delayed, non_crash;
  std::vector<std::uint32_t> preshutdown;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> restarts;
  std::vector<std::string> granted, prompts;
};

struct SetupTexts {
  std::string account, dependencies;
  bool manual = false, delayed = false;
  int restart = 0, stop = 0;
  ServiceSetup get() const {
    static const std::string not_applied = "not applied: %s", prompt = "password of %s: ",
                             needs_console = "console needed for %s", granted = "granted %s";
    return ServiceSetup{account, dependencies, manual, delayed, restart, stop, not_applied, prompt, needs_console,
                        granted};
  }
};

TEST(ServiceSetup, AccountsNameTheManagersFormAndOnlyUsersNeedAPassword) {
  struct Case {
    const char* configured;
    const char* name;
    bool is_user;
  };
  for (const Case& c : {Case{"", "", false}, Case{"LocalSystem", "", false}, Case{"nt authority\\system", "", false},
                        Case{"LocalService", "NT AUTHORITY\\LocalService", false},
                        Case{" networkservice ", "NT AUTHORITY\\NetworkService", false},
                        Case{"NT SERVICE\\Svc", "NT SERVICE\\Svc", false}, Case{"NT SERVICE\\", "NT SERVICE\\", true},
                        Case{"CORP\\svc-app", "CORP\\svc-app", true}, Case{".\\runner", ".\\runner", true}}) {
    const ServiceAccountName account = ResolveServiceAccount(c.configured);
    EXPECT_EQ(account.name, c.name) << c.configured;
    EXPECT_EQ(account.is_user, c.is_user) << c.configured;
  }
}

TEST(ServiceSetup, DependenciesBecomeADoubleNulTerminatedList) {
  EXPECT_EQ(DependencyList(""), u""s);
  EXPECT_EQ(DependencyList(" ; ;"), u""s);
  EXPECT_EQ(DependencyList("Tcpip"), u"Tcpip\0\0"s);
  EXPECT_EQ(DependencyList("Tcpip; +NetworkProvider ;Dhcp;"), u"Tcpip\0+NetworkProvider\0Dhcp\0\0"s);
}

TEST(ServiceSetup, WithoutTheNewSettingsOnlyTheServiceIsCreatedAsBefore) {
  RecordingManager manager;
  ClearReports();
  ASSERT_TRUE(CreateConfiguredService("Svc", "\"C:\\a.exe\" -s", SetupTexts{}.get(), manager));
  ASSERT_EQ(manager.created.size(), 1u);
  EXPECT_EQ(manager.created[0].name, "Svc");
  EXPECT_EQ(manager.created[0].command_line, "\"C:\\a.exe\" -s");
  EXPECT_EQ(manager.created[0].start_type, kAutoStart);
  EXPECT_EQ(manager.created[0].dependencies, u"");
  EXPECT_EQ(manager.created[0].account, "");
  EXPECT_EQ(manager.passwords, std::vector<std::u16string>{u"<null>"});
  EXPECT_TRUE(manager.levels.empty());
  EXPECT_TRUE(manager.prompts.empty());
  EXPECT_TRUE(RecordedReports().empty());
}

TEST(ServiceSetup, EveryItemIsPassedAsTheManagerTakesIt) {
  RecordingManager manager;
  SetupTexts setup;
  setup.account = "NetworkService";
  setup.dependencies = "Tcpip;Dhcp";
  setup.delayed = true;
  setup.restart = 15;
  setup.stop = 120;
  ClearReports();
  ASSERT_TRUE(CreateConfiguredService("Svc", "cmd", setup.get(), manager));
  EXPECT_EQ(manager.created[0].account, "NT AUTHORITY\\NetworkService");
  EXPECT_EQ(manager.created[0].dependencies, u"Tcpip\0Dhcp\0\0"s);
  EXPECT_EQ(manager.passwords, std::vector<std::u16string>{u"<null>"});
  EXPECT_EQ(manager.levels, (std::vector<std::uint32_t>{3, 2, 4, 7}));
  EXPECT_EQ(manager.delayed, std::vector<std::int32_t>{1});
  const std::pair<std::uint32_t, std::uint32_t> restart{kActionRestart, 15000};
  EXPECT_EQ(manager.restarts, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{restart, restart, restart}));
  EXPECT_EQ(manager.non_crash, std::vector<std::int32_t>{1});
  EXPECT_EQ(manager.preshutdown, std::vector<std::uint32_t>{130000}) << "the stop time and the margin";
  EXPECT_TRUE(manager.granted.empty());
  EXPECT_TRUE(RecordedReports().empty());

  // Delayed start is for automatic services only.
  RecordingManager manual_manager;
  setup.manual = true;
  setup.restart = setup.stop = 0;
  ASSERT_TRUE(CreateConfiguredService("Svc", "cmd", setup.get(), manual_manager));
  EXPECT_EQ(manual_manager.created[0].start_type, kDemandStart);
  EXPECT_TRUE(manual_manager.levels.empty());
}

TEST(ServiceSetup, AnItemTheManagerRefusesLeavesTheServiceInstalledWithAWarningNamingIt) {
  for (const auto& [level, item] : std::vector<std::pair<std::uint32_t, std::string>>{
           {kConfigDelayedAutoStart, "ServiceDelayedStart"},
           {kConfigFailureActions, "ServiceRestartSeconds"},
           {kConfigFailureActionsFlag, "ServiceRestartSeconds (failures that are not crashes)"},
           {kConfigPreshutdownInfo, "ServiceStopSeconds"}}) {
    RecordingManager manager;
    manager.refused_level = level;
    SetupTexts setup;
    setup.delayed = true;
    setup.restart = 5;
    setup.stop = 60;
    ClearReports();
    EXPECT_TRUE(CreateConfiguredService("Svc", "cmd", setup.get(), manager));
    EXPECT_EQ(manager.levels.size(), 4u) << "the other items still apply";
    EXPECT_EQ(RecordedReports(), (std::vector<std::string>{"error: not applied: " + item, "error: system 87"}));
  }
}

TEST(ServiceSetup, AUserAccountsPasswordIsAskedOnTheConsoleAndTheRightGranted) {
  RecordingManager manager;
  SetupTexts setup;
  setup.account = "CORP\\svc-app";
  ClearReports();
  ASSERT_TRUE(CreateConfiguredService("Svc", "cmd", setup.get(), manager));
  EXPECT_EQ(manager.prompts, std::vector<std::string>{"password of CORP\\svc-app: "});
  EXPECT_EQ(manager.passwords, std::vector<std::u16string>{u"s3cret"});
  EXPECT_EQ(manager.granted, std::vector<std::string>{"CORP\\svc-app"});
  EXPECT_EQ(RecordedReports(), std::vector<std::string>{"info: granted CORP\\svc-app"});

  manager = RecordingManager();
  manager.grant_error = 1332;
  ClearReports();
  ASSERT_TRUE(CreateConfiguredService("Svc", "cmd", setup.get(), manager));
  EXPECT_EQ(RecordedReports(), (std::vector<std::string>{
                                   "error: not applied: ServiceAccount (the right to log on as a service)",
                                   "error: system 1332"}));

  manager = RecordingManager();
  manager.has_console = false;
  ClearReports();
  EXPECT_FALSE(CreateConfiguredService("Svc", "cmd", setup.get(), manager));
  EXPECT_TRUE(manager.created.empty()) << "nothing is created without the password";
  EXPECT_EQ(RecordedReports(), std::vector<std::string>{"error: console needed for CORP\\svc-app"});

  manager = RecordingManager();
  manager.create_error = 1057;
  ClearReports();
  EXPECT_FALSE(CreateConfiguredService("Svc", "cmd", setup.get(), manager));
  EXPECT_TRUE(manager.granted.empty());
  EXPECT_EQ(RecordedReports(), std::vector<std::string>{"error: system 1057"});
  for (const std::string& report : RecordedReports()) EXPECT_EQ(report.find("s3cret"), std::string::npos);
}

}  // namespace
}  // namespace stub
