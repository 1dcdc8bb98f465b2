#include "service/service_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace stub {
namespace {

using Args = std::vector<std::string>;

TEST(ServiceRules, RecognisesASwitchOnlyAsTheSoleExactArgument) {
  struct Case {
    Args args;
    ServiceSwitchKind expected;
  };
  const Case cases[] = {
      {{"app.exe", "-install"}, ServiceSwitchKind::kInstall},
      {{"", "-uninstall"}, ServiceSwitchKind::kUninstall},
      {{"app.exe", "-run"}, ServiceSwitchKind::kRun},
      {{"app.exe"}, ServiceSwitchKind::kNone},
      {{}, ServiceSwitchKind::kNone},
      {{"app.exe", "-install", "x"}, ServiceSwitchKind::kNone},
      {{"app.exe", "x", "-install"}, ServiceSwitchKind::kNone},
      {{"app.exe", "-INSTALL"}, ServiceSwitchKind::kNone},
      {{"app.exe", "-Run"}, ServiceSwitchKind::kNone},
      {{"app.exe", "-install "}, ServiceSwitchKind::kNone},
      {{"app.exe", "install"}, ServiceSwitchKind::kNone},
      {{"app.exe", ""}, ServiceSwitchKind::kNone},
  };
  for (const Case& c : cases) {
    const std::string shown = c.args.size() > 1 ? c.args[1] : "<none>";
    EXPECT_EQ(RecognizeServiceSwitch(c.args, "-install", "-uninstall", "-run"), c.expected) << shown;
  }
}

TEST(ServiceRules, EarlierSwitchWinsWhenTwoAreConfiguredAlike) {
  EXPECT_EQ(RecognizeServiceSwitch({"a", "-x"}, "-x", "-x", "-x"), ServiceSwitchKind::kInstall);
  EXPECT_EQ(RecognizeServiceSwitch({"a", "-x"}, "-i", "-x", "-x"), ServiceSwitchKind::kUninstall);
}

TEST(ServiceRules, EmptyConfiguredSwitchNeverMatches) {
  EXPECT_EQ(RecognizeServiceSwitch({"a", ""}, "", "", ""), ServiceSwitchKind::kNone);
  EXPECT_EQ(RecognizeServiceSwitch({"a", "-run"}, "", "", "-run"), ServiceSwitchKind::kRun);
}

TEST(ServiceRules, InstallLimitsAcceptUpToTheBoundAndRefuseOneBeyond) {
  const std::string path_at_limit(kMaxServiceCommandPartsLength - 4, 'p');
  EXPECT_EQ(InstallLimitViolation(std::string(kMaxServiceNameLength, 'n'), path_at_limit, "-sw1"), "");

  const std::string name_refusal =
      InstallLimitViolation(std::string(kMaxServiceNameLength + 1, 'n'), "C:\\a.exe", "-s");
  EXPECT_NE(name_refusal.find("216 characters"), std::string::npos) << name_refusal;

  const std::string command_refusal = InstallLimitViolation("Svc", path_at_limit, "-sw12");
  EXPECT_NE(command_refusal.find("268 characters"), std::string::npos) << command_refusal;
  EXPECT_NE(command_refusal.find(path_at_limit), std::string::npos) << "names the program path";
}

TEST(ServiceRules, ComposedTextsStayWithinTheInstallBuffersAtTheLimits) {
  // The install buffers hold 271 characters plus the terminator.
  constexpr std::size_t kBufferChars = 271;
  const std::string longest_name(kMaxServiceNameLength, 'n');
  EXPECT_EQ(EventLogSourceKeyPath(longest_name).size(), kBufferChars);
  EXPECT_LE(ServiceKeyPath(longest_name).size(), kBufferChars);

  const std::string path(kMaxServiceCommandPartsLength - 2, 'p');
  EXPECT_EQ(ComposeServiceCommandLine(path, "-s").size(), kBufferChars);
}

TEST(ServiceRules, ComposesQuotedCommandLineAndKeyPaths) {
  EXPECT_EQ(ComposeServiceCommandLine("C:\\Program Files\\My App\\app.exe", "-startsvc"),
            "\"C:\\Program Files\\My App\\app.exe\" -startsvc");
  EXPECT_EQ(EventLogSourceKeyPath("Svc"), "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Svc");
  EXPECT_EQ(ServiceKeyPath("Svc"), "SYSTEM\\CurrentControlSet\\Services\\Svc");
}

TEST(ServiceRules, StatusRecordVariesOnlyInStateAndWaitHint) {
  struct Case {
    std::uint32_t state;
    std::uint32_t wait_hint;
  };
  const Case cases[] = {{kServiceRunning, 0}, {kServiceStopPending, 40000}, {kServiceStopped, 0}};
  for (const Case& c : cases) {
    const ServiceStatusRecord record = StatusRecordFor(c.state);
    EXPECT_EQ(record.service_type, 0x10u) << c.state;
    EXPECT_EQ(record.current_state, c.state);
    EXPECT_EQ(record.controls_accepted, 5u) << c.state;
    EXPECT_EQ(record.win32_exit_code, 0u) << c.state;
    EXPECT_EQ(record.service_specific_exit_code, 0u) << c.state;
    EXPECT_EQ(record.check_point, 0u) << c.state;
    EXPECT_EQ(record.wait_hint, c.wait_hint) << c.state;
  }
  EXPECT_GT(kStopWaitHintMs, kStopWatchdogMs) << "the manager must not give up before the watchdog";
}

TEST(ServiceRules, OnlyStopAndShutdownAskTheServiceToEnd) {
  EXPECT_TRUE(IsStopControl(1));
  EXPECT_TRUE(IsStopControl(5));
  for (std::uint32_t other : {0u, 2u, 3u, 4u, 6u, 0x20u}) EXPECT_FALSE(IsStopControl(other)) << other;
}

}  // namespace
}  // namespace stub
