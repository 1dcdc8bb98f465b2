#include "service/service_rules.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace stub {
namespace {

TEST(ServiceRules, RecognisesASwitchOnlyAsTheSoleExactNonEmptyArgumentTheEarlierFirst) {
  constexpr auto kNone = ServiceSwitchKind::kNone;
  struct Case {
    std::vector<std::string> args;
    const char* install;
    ServiceSwitchKind expected;
  };
  const Case cases[] = {
      {{"app.exe", "-install"}, "-install", ServiceSwitchKind::kInstall},
      {{"", "-uninstall"}, "-install", ServiceSwitchKind::kUninstall},
      {{"app.exe", "-run"}, "-install", ServiceSwitchKind::kRun},
      {{"a", "-run"}, "-run", ServiceSwitchKind::kInstall},  // two switches alike: the earlier wins
      {{"a", ""}, "", kNone},                                // an empty switch never matches
      {{"a", "-run"}, "", ServiceSwitchKind::kRun},
      {{"app.exe"}, "-install", kNone},
      {{}, "-install", kNone},
      {{"app.exe", "-install", "x"}, "-install", kNone},
      {{"app.exe", "x", "-install"}, "-install", kNone},
      {{"app.exe", "-INSTALL"}, "-install", kNone},
      {{"app.exe", "-install "}, "-install", kNone},
      {{"app.exe", "install"}, "-install", kNone},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RecognizeServiceSwitch(c.args, c.install, c.install[0] ? "-uninstall" : "", "-run"), c.expected)
        << (c.args.size() > 1 ? c.args[1] : "<none>") << " with " << c.install;
  }
}

TEST(ServiceRules, InstallTextsFitTheirBuffersAtTheLimitsAndOneBeyondIsRefused) {
  const std::string path_at_limit(kMaxServiceCommandPartsLength - 4, 'p');
  EXPECT_EQ(InstallLimitViolation(std::string(kMaxServiceNameLength, 'n'), path_at_limit, "-sw1"), "");
  const std::string name_refusal = InstallLimitViolation(std::string(kMaxServiceNameLength + 1, 'n'), "C:\\a.exe", "-s");
  EXPECT_NE(name_refusal.find("216 characters"), std::string::npos) << name_refusal;
  const std::string command_refusal = InstallLimitViolation("Svc", path_at_limit, "-sw12");
  EXPECT_NE(command_refusal.find("268 characters"), std::string::npos) << command_refusal;
  EXPECT_NE(command_refusal.find(path_at_limit), std::string::npos) << "names the program path";
  for (const std::string switch_text : {"", "-run service", "-run\tservice"}) {
    const std::string refusal = InstallLimitViolation("Svc", "C:\\a.exe", switch_text);
    EXPECT_NE(refusal.find("\"" + switch_text + "\" is empty or holds a space"), std::string::npos) << refusal;
  }
  // The install buffers hold 271 characters plus the terminator.
  EXPECT_EQ(EventLogSourceKeyPath(std::string(kMaxServiceNameLength, 'n')).size(), 271u);
  EXPECT_EQ(ComposeServiceCommandLine(std::string(kMaxServiceCommandPartsLength - 2, 'p'), "-s").size(), 271u);
  EXPECT_EQ(ComposeServiceCommandLine("C:\\My App\\app.exe", "-startsvc"), "\"C:\\My App\\app.exe\" -startsvc");
  EXPECT_EQ(EventLogSourceKeyPath("Svc"), "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\Svc");
  EXPECT_EQ(ServiceKeyPath("Svc"), "SYSTEM\\CurrentControlSet\\Services\\Svc");
}

// A stop is reported as progressing (check points rising, the wait hint covering the time left) until
// the stopped state, which carries the end's codes; nothing is reported after it.
TEST(ServiceRules, StatusBookReportsStopProgressThenTheEndsExitCodes) {
  struct Case {
    ServiceEnd end;
    std::uint32_t win32_exit_code;
  };
  for (const Case c : {Case{ServiceEnd::kClean, 0}, Case{ServiceEnd::kJvmNotCreated, 1066},
                       Case{ServiceEnd::kMainFailed, 1066}, Case{ServiceEnd::kExitStatus, 1066},
                       Case{ServiceEnd::kStopTimedOut, 1066}, Case{ServiceEnd::kStopNotDelivered, 1066}}) {
    const auto code = static_cast<std::uint32_t>(c.end);
    ServiceStatusBook book;
    ServiceStatusRecord record = book.Running();
    EXPECT_EQ(record.service_type, 0x10u);
    EXPECT_EQ(record.current_state, kServiceRunning);
    EXPECT_EQ(record.controls_accepted, 0x101u) << "stop and pre-shutdown";
    ASSERT_TRUE(book.BeginStop(StopTimeMs(0), record));
    EXPECT_EQ(record.current_state, kServiceStopPending);
    EXPECT_EQ(record.check_point, 1u);
    EXPECT_EQ(record.wait_hint, 40000u) << "30 s and the margin";
    EXPECT_FALSE(book.BeginStop(StopTimeMs(0), record)) << "a second stop control starts nothing";
    ASSERT_TRUE(book.Progress(29000, record));
    EXPECT_EQ(record.check_point, 2u);
    EXPECT_EQ(record.wait_hint, 39000u);
    record = book.Stopped(c.end);
    EXPECT_EQ(record.current_state, kServiceStopped) << code;
    EXPECT_EQ(record.win32_exit_code, c.win32_exit_code) << code;
    EXPECT_EQ(record.service_specific_exit_code, code);
    EXPECT_EQ(record.check_point, 0u);
    EXPECT_EQ(record.wait_hint, 0u);
    EXPECT_FALSE(book.Progress(1000, record)) << "no progress after the end";
    EXPECT_EQ(book.Stopped(ServiceEnd::kClean).service_specific_exit_code, code) << "the first end stays";
  }
  EXPECT_EQ(ServiceStatusBook(false).Running().controls_accepted, 5u) << "stop and shutdown before Vista";
  EXPECT_EQ(StopTimeMs(-1), 30000u);
  EXPECT_EQ(StopTimeMs(120), 120000u);
  for (std::uint32_t control = 0; control < 0x21; ++control) {
    EXPECT_EQ(IsStopControl(control), control == 1 || control == 5 || control == 0xF) << control;
  }
}

TEST(ServiceRules, AStopReachesMainFromItsBeginningUntilTheJvmIsGoneAndNoRequesterOutlivesIt) {
  ApplicationLifecycle before_main;  // a stop first: main never begins, nothing is asked
  EXPECT_EQ(before_main.RouteStop(), StopRoute::kMainNotBegun);
  EXPECT_EQ(before_main.RouteStop(), StopRoute::kMainNotBegun) << "a second control changes nothing";
  EXPECT_FALSE(before_main.BeginMain());
  EXPECT_FALSE(before_main.EnterJvm());
  EXPECT_TRUE(before_main.EndJvm());
  EXPECT_EQ(before_main.RouteStop(), StopRoute::kNoJvm);

  ApplicationLifecycle never_created;
  EXPECT_TRUE(never_created.EndJvm());
  EXPECT_EQ(never_created.RouteStop(), StopRoute::kNoJvm);
  EXPECT_FALSE(never_created.EnterJvm());

  ApplicationLifecycle lifecycle;
  ASSERT_TRUE(lifecycle.BeginMain());
  EXPECT_EQ(lifecycle.RouteStop(), StopRoute::kDeliver);  // also after main returned: the JVM's end decides
  EXPECT_EQ(lifecycle.RouteStop(), StopRoute::kDeliver);
  ASSERT_TRUE(lifecycle.EnterJvm());
  ASSERT_TRUE(lifecycle.EnterJvm());
  lifecycle.LeaveJvm();
  EXPECT_FALSE(lifecycle.EndJvm()) << "one requester is still inside";
  EXPECT_FALSE(lifecycle.EnterJvm()) << "none may enter once the JVM is gone";
  EXPECT_EQ(lifecycle.RouteStop(), StopRoute::kNoJvm);
  lifecycle.LeaveJvm();
}

// Runs first and second on two threads released together, many times over, on fresh objects.
template <typename Setup, typename First, typename Second, typename Check>
void Race(Setup setup, First first, Second second, Check check) {
  for (int round = 0; round < 2000; ++round) {
    ApplicationLifecycle lifecycle;
    setup(lifecycle);
    std::atomic<int> ready{0};
    auto start = [&ready] {
      ready.fetch_add(1);
      while (ready.load() < 2) std::this_thread::yield();
    };
    std::thread other([&] {
      start();
      second(lifecycle);
    });
    start();
    first(lifecycle);
    other.join();
    check(round);
  }
}

TEST(ServiceRules, RacingStopAndBeginningOfMainAgreeOnOneOutcome) {
  bool began = false;
  StopRoute route = StopRoute::kNoJvm;
  Race([](ApplicationLifecycle&) {}, [&](ApplicationLifecycle& lifecycle) { began = lifecycle.BeginMain(); },
       [&](ApplicationLifecycle& lifecycle) { route = lifecycle.RouteStop(); },
       [&](int round) {
         EXPECT_EQ(route, began ? StopRoute::kDeliver : StopRoute::kMainNotBegun) << "round " << round;
       });
}

TEST(ServiceRules, RacingStopRequesterNeverFindsTheRuntimeUnloadedUnderIt) {
  std::atomic<bool> inside{false};
  std::atomic<bool> unloaded{false};
  std::atomic<int> violations{0};
  Race(
      [&](ApplicationLifecycle& lifecycle) {
        inside = false;
        unloaded = false;
        lifecycle.BeginMain();
      },
      [&](ApplicationLifecycle& lifecycle) {
        if (!lifecycle.EnterJvm()) return;
        inside = true;
        std::this_thread::yield();
        if (unloaded) violations.fetch_add(1);
        inside = false;
        lifecycle.LeaveJvm();
      },
      [&](ApplicationLifecycle& lifecycle) {
        if (!lifecycle.EndJvm()) return;
        unloaded = true;
        if (inside) violations.fetch_add(1);
      },
      [&](int round) { ASSERT_EQ(violations.load(), 0) << "round " << round; });
}

}  // namespace
}  // namespace stub
