#include "service/service_switch.h"

#include <gtest/gtest.h>

#include "app/stage_settings.h"
#include "report_recorder.h"

namespace stub {
namespace {

// What the Win32 side answers, and the calls it received in order.
struct FakeSystem {
  ServicePresence presence = ServicePresence::kAbsent;
  bool limits_hold = true;
  bool installed = true;
  bool uninstalled = true;
  std::vector<std::string> calls;
} g_system;

}  // namespace

// The Win32 side of the switches, which the launchers link from the *_win files.
ServicePresence QueryServiceExists(const std::string& service_name) {
  g_system.calls.push_back("query " + service_name);
  return g_system.presence;
}
bool InstallLimitsHold(const ServiceEntry& entry, std::string& executable_path) {
  g_system.calls.push_back("limits " + entry.name + " " + entry.service_switch);
  executable_path = "C:\\app\\app.exe";
  return g_system.limits_hold;
}
bool InstallService(const ServiceEntry& entry, const std::string& executable_path) {
  g_system.calls.push_back("install " + entry.name + " " + entry.description + " " + executable_path);
  return g_system.installed;
}
bool UninstallService(const std::string& service_name) {
  g_system.calls.push_back("uninstall " + service_name);
  return g_system.uninstalled;
}
void StartServiceDispatcher(const ServiceSettings& settings) {
  g_system.calls.push_back("dispatcher " + settings.name + " " + settings.start_arguments);
}

namespace {

TEST(ServiceSwitch, EachSwitchIsHandledAndReportedOnceAndAnythingElseIsLeftToTheApplication) {
  SettingTexts texts;
  texts[IndexOf(Setting::ServiceName)] = "Svc";
  texts[IndexOf(Setting::ServiceDescription)] = "Desc";
  texts[IndexOf(Setting::ServiceStartArguments)] = "run";
  texts[IndexOf(Setting::InstallSwitch)] = "-i";
  texts[IndexOf(Setting::UninstallSwitch)] = "-u";
  texts[IndexOf(Setting::ServiceSwitch)] = "-s";
  texts[IndexOf(Setting::ServiceInstalledMessage)] = "installed %s";
  texts[IndexOf(Setting::ServiceExistsMessage)] = "exists %s";
  texts[IndexOf(Setting::ServiceUninstalledMessage)] = "uninstalled %s";
  const LaunchConfiguration config(std::move(texts));
  const std::string no_directory;
  const JvmSettings jvm = JvmSettingsOf(config, no_directory);
  struct Case {
    const char* argument;
    FakeSystem system;
    bool handled;
    std::vector<std::string> calls;
    std::vector<std::string> reports;
  };
  constexpr auto kAbsent = ServicePresence::kAbsent;
  const std::string install = "install Svc Desc C:\\app\\app.exe";
  const Case cases[] = {
      {"-x", {}, false, {}, {}},
      {"-i", {}, true, {"limits Svc -s", "query Svc", install}, {"info: installed Svc"}},
      {"-i", {kAbsent, true, false, true, {}}, true, {"limits Svc -s", "query Svc", install}, {}},
      {"-i", {ServicePresence::kPresent, true, true, true, {}}, true, {"limits Svc -s", "query Svc"},
       {"error: exists Svc"}},
      {"-i", {ServicePresence::kUnknown, true, true, true, {}}, true, {"limits Svc -s", "query Svc"}, {}},
      {"-i", {kAbsent, false, true, true, {}}, true, {"limits Svc -s"}, {}},  // the limit check reports itself
      {"-u", {}, true, {"uninstall Svc"}, {"info: uninstalled Svc"}},
      {"-u", {kAbsent, true, true, false, {}}, true, {"uninstall Svc"}, {}},
      {"-s", {}, true, {"dispatcher Svc run"}, {}},
  };
  for (const Case& c : cases) {
    g_system = c.system;
    ClearReports();
    EXPECT_EQ(DispatchServiceSwitch(ServiceSwitchesOf(config), ServiceSettingsOf(config, jvm), {"app.exe", c.argument}),
              c.handled)
        << c.argument;
    EXPECT_EQ(g_system.calls, c.calls) << c.argument;
    EXPECT_EQ(RecordedReports(), c.reports) << c.argument;
  }
}

}  // namespace
}  // namespace stub
