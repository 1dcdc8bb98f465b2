"""Service mode under Wine's Service Control Manager, runs driven from one `wine cmd /c` (Wine ends a service
with the prefix's last ordinary process), observed as an administrator could: registry values (Wine 8's
`sc qc` prints nothing), `sc query`, event-log text (+eventlog on stderr), files and exit codes. Wine 8's
services.exe skips at a session's start every service whose Description is REG_EXPAND_SZ (as Windows has it):
steps that need the manager to know such a service run in one scenario, and clean-up removes its key."""
import re
import subprocess
import tempfile
import threading
import time
import uuid
from pathlib import Path

import pytest

from conftest import (BUILD_HOST, BUILD_WIN, ROOT, WINE64, X64, X86, Wine, double_log, stamp, win_path, wine_server,
                      wine_env as shared_wine_env)

NO_RUNTIME = "Unable to locate suitable Java Runtime Environment on this machine."
DOUBLE_JVM = BUILD_WIN / "fixtures" / "double" / "jvm.dll"
BRIDGE_JVM = BUILD_HOST / "bridge" / "jvm.dll"
TESTAPPS_JAR = BUILD_HOST / "java" / "testapps.jar"
PROBE = BUILD_WIN / "fixtures" / "serviceprobe.exe"
SERVICES_KEY = r"HKLM\SYSTEM\CurrentControlSet\Services"
EVENTLOG_KEY = r"HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application"
SYSTEM_ENV_KEY = r"HKLM\System\CurrentControlSet\Control\Session Manager\Environment"
SLEEP = "ping -n 2 127.0.0.1 > nul"
EVENT_LINE = re.compile(r'(err|trace):eventlog:ReportEventW L"(.*)"$')


# A prefix of its own without a persistent wineserver: each scenario starts services.exe itself (so the event
# log reaches its stderr and the system environment is read again); each start waits for its server's end.
SERVICE_PREFIX = ROOT / "build" / "wineprefix-services"


def wine_env(extra=None):
    return shared_wine_env(extra, SERVICE_PREFIX)


def session_end():
    subprocess.run(["wineserver", "-w"], env=wine_env(), timeout=180)


@pytest.fixture(scope="session")
def service_prefix():
    wine_server(wine_env(), persistent=False)
    yield SERVICE_PREFIX
    subprocess.run(["wineserver", "-k"], env=wine_env(), timeout=60)


class ServiceWine(Wine):
    """Waits for the session's end after each program, so that each scenario starts its own service manager."""

    def run(self, *args, **kwargs):
        proc = super().run(*args, **kwargs)
        session_end()
        return proc


@pytest.fixture
def wine(service_prefix):
    return ServiceWine(prefix=SERVICE_PREFIX)


def wine_cmd(*args, env=None, timeout=120):
    proc = subprocess.run([WINE64, *args], env=wine_env(env), capture_output=True, timeout=timeout)
    session_end()
    return proc


def wine_batch(lines, timeout=120):
    """The lines in one `cmd /c`, one Wine session; returns once the session (holding the pipes) has ended."""
    with tempfile.TemporaryDirectory(dir=ROOT / "build") as directory:
        script = Path(directory) / "steps.bat"
        script.write_text("\r\n".join(["@echo off", *lines]) + "\r\n", encoding="latin-1")
        return wine_cmd("cmd", "/c", win_path(script), timeout=timeout)


def events(stderr):
    """Event-log records in order as ("error" | "info", text), Wine's \\xxxx escapes of UTF-16 units decoded."""
    found = []
    for line in stderr.decode("latin-1").splitlines():
        match = EVENT_LINE.search(line)
        if match:
            units = re.sub(r"\\([0-9a-f]{4})", lambda m: chr(int(m.group(1), 16)), match.group(2))
            found.append(("error" if match.group(1) == "err" else "info",
                          units.encode("utf-16-le", "surrogatepass").decode("utf-16-le")))
    return found


def registry_values(key):
    """The values of a registry key as {name: (type, data)}, or None when the key does not exist."""
    proc = wine_cmd("reg", "query", key)
    if proc.returncode != 0:
        return None
    values = {}
    for line in proc.stdout.decode("latin-1").splitlines():
        parts = re.split(r"\s{4}", line.strip())
        if len(parts) == 3 and parts[1].startswith("REG_"):
            values[parts[0]] = (parts[1], parts[2])
    return values


def run_scenario(scratch, lines, timeout=120):
    """The lines as one batch file, event log on stderr; `marks` hold when each "==" output line arrived."""
    script = scratch / f"scenario-{uuid.uuid4().hex[:8]}.bat"
    script.write_text("\r\n".join(["@echo off", *lines]) + "\r\n", encoding="latin-1")
    command = [WINE64, "cmd", "/c", win_path(script)]
    proc = subprocess.Popen(command, cwd=scratch, env=wine_env({"WINEDEBUG": "-all,+eventlog"}),
                            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    out, err, marks = [], [], {}

    def read_out():
        for line in proc.stdout:
            if line.startswith(b"=="):
                marks[line.strip().decode("latin-1")] = time.monotonic()
            out.append(line)

    readers = [threading.Thread(target=read_out, daemon=True),
               threading.Thread(target=lambda: err.append(proc.stderr.read()), daemon=True)]
    for reader in readers:
        reader.start()
    try:
        proc.wait(timeout=timeout)
        # The service manager and its processes hold stderr until the Wine session ends.
        for reader in readers:
            reader.join(timeout)
            if reader.is_alive():
                raise subprocess.TimeoutExpired(command, timeout)
    finally:
        proc.kill()
    session_end()
    result = subprocess.CompletedProcess(command, proc.returncode, b"".join(out), b"".join(err))
    result.marks = marks
    return result


def poll(condition, tries=30):
    """Batch lines that run the condition about once a second until it succeeds (or tries run out)."""
    label = f"poll{uuid.uuid4().hex[:6]}"
    return ["set polls=0", f":{label}", f"{condition} > nul", f"if not errorlevel 1 goto {label}end",
            "set /a polls+=1", f"if %polls% geq {tries} goto {label}end", SLEEP, f"goto {label}", f":{label}end"]


def poll_state(service, state):
    return poll(f'sc query {service} | find "{state}"')


def service_state(stdout_text, marker):
    """The STATE of the `sc query` printed after the echoed marker line."""
    tail = stdout_text.split(marker, 1)[1]
    match = re.search(r"STATE\s*:\s*\d+\s+(\w+)", tail)
    return match.group(1) if match else None


@pytest.fixture
def service(service_prefix, request):
    """A service name of the test's own; the service and its event-log key are removed afterwards."""
    name = "StubSvc" + uuid.uuid4().hex[:10]
    yield name
    remove_service(name)


def remove_service(name):
    wine_batch([f"sc delete {name}", rf'reg delete "{SERVICES_KEY}\{name}" /f',
                rf'reg delete "{EVENTLOG_KEY}\{name}" /f'])


def probed(stdout, marker, *keys):
    """The values serviceprobe printed between the marker and the next one for the keys, in order."""
    lines = stdout.decode("latin-1").split(marker, 1)[1].split("\n==", 1)[0].splitlines()
    found = dict(line.split("=", 1) for line in lines if "=" in line)
    return [found.get(key) for key in keys]


def section(stdout, start, end):
    text = stdout.decode("latin-1")
    return text.split(start, 1)[1].split(end, 1)[0]


def make_launcher(scratch, name, stub="stubcon.exe", subdir="app", build=X64, **extra):
    settings = {"ServiceName": name, "MainClass": "com.example.App", "JvmPath": "missing\\jvm.dll",
                "JvmSearchMode": "0", "InstallSwitch": "-install", "UninstallSwitch": "-uninstall",
                "ServiceSwitch": "-startsvc",
                # Demand start, so that no later Wine session starts a left-over service on its own.
                "ServiceManualStart": "1", **extra}
    return stamp(build.dist / stub, settings, scratch / subdir / "app.exe")


# ---- installation and removal -------------------------------------------------------------------

# The second row's program path and switch are together as long as they may be (one more is refused below).
@pytest.mark.parametrize("manual, description, subdir", [
    ("1", "Handles the example's jobs", "plain"),
    ("0", "", "with spaces in path"),
])
def test_install_creates_service_event_source_and_description(wine, scratch, service, manual, description, subdir):
    switch = "-startsvc" if manual == "1" else "-" + "s" * (268 - len(win_path(scratch / subdir / "app.exe")) - 1)
    exe = make_launcher(scratch, service, subdir=subdir, ServiceManualStart=manual, ServiceDescription=description,
                        ServiceSwitch=switch)
    proc = wine.run(exe, "-install")
    assert proc.returncode == 0
    assert proc.stdout == f"Service installed: {service}\r\n".encode()

    config = registry_values(rf"{SERVICES_KEY}\{service}")
    assert config is not None, "service key missing"
    assert config["ImagePath"][1] == f'"{win_path(exe)}" {switch}'
    assert config["DisplayName"][1] == service
    assert int(config["Start"][1], 16) == (3 if manual == "1" else 2)
    assert int(config["Type"][1], 16) == 0x10
    if description:
        assert config["Description"] == ("REG_EXPAND_SZ", description)
    else:
        assert "Description" not in config

    source = registry_values(rf"{EVENTLOG_KEY}\{service}")
    assert source["EventMessageFile"] == ("REG_EXPAND_SZ", win_path(exe))
    assert int(source["TypesSupported"][1], 16) == 7


# What Wine's manager keeps of the new items, read back through the registry and its own queries. Wine 8
# stores the account and the dependencies (only in the registry: QueryServiceConfigW returns none) and
# the pre-shutdown time; it refuses delayed start and the non-crash flag, which the launcher names in a
# warning each, and takes failure actions without keeping them. What Windows is asked is the unit tests'
# matter. One scenario: an automatic service installed here must not meet the next session's start.
def test_install_applies_account_dependencies_and_shutdown_time(scratch, service, service_prefix):
    exe = make_launcher(scratch, service, ServiceManualStart="0", ServiceAccount="LocalService",
                        ServiceDependencies="Tcpip; Dhcp", ServiceDelayedStart="1", ServiceRestartSeconds="5",
                        ServiceStopSeconds="20")
    proc = run_scenario(scratch, [
        f'"{win_path(exe)}" -install', "echo ==probe", f'"{win_path(PROBE)}" {service}',
        "echo ==registry", f"reg query {SERVICES_KEY}\\{service}", f"sc delete {service}",
    ])
    out = proc.stdout.decode("latin-1")
    assert f"Service installed: {service}" in out
    warned = [line for line in proc.stderr.decode("latin-1").splitlines() if "did not apply" in line]
    assert warned == [f"The service manager did not apply {item}; the service is installed without it:"
                      for item in ("ServiceDelayedStart", "ServiceRestartSeconds (failures that are not crashes)")]
    assert probed(proc.stdout, "==probe", "account", "preshutdown", "delayed", "failure_actions") == \
        ["NT AUTHORITY\\LocalService", "30000", "error 124", "error 124"]
    registry = out.split("==registry", 1)[1]
    assert re.search(r"ObjectName\s+REG_SZ\s+NT AUTHORITY\\LocalService", registry)
    assert re.search(r"DependOnService\s+REG_MULTI_SZ\s+Tcpip\\0Dhcp", registry)
    assert re.search(r"Start\s+REG_DWORD\s+0x2", registry)


def test_install_twice_uninstall_and_install_again(scratch, service, service_prefix):
    exe = make_launcher(scratch, service, ServiceDescription="first")
    again = make_launcher(scratch, service, subdir="other", ServiceDescription="second", ServiceManualStart="0")
    query = [f"reg query {SERVICES_KEY}\\{service}", f"reg query {EVENTLOG_KEY}\\{service}"]
    proc = run_scenario(scratch, [
        f'"{win_path(exe)}" -uninstall', "echo ==missing exit=%ERRORLEVEL%",
        # The switch rules are the unit tests' matter: not alone, a switch starts the application.
        f'"{win_path(exe)}" -install extra', "echo ==not-a-switch",
        f'"{win_path(exe)}" -install', *query, "echo ==again",
        f'"{win_path(again)}" -install', "echo ==second exit=%ERRORLEVEL%", *query, "echo ==uninstall",
        f'"{win_path(exe)}" -uninstall', "echo exit=%ERRORLEVEL%",
        f"reg query {SERVICES_KEY}\\{service} > nul 2>&1", "echo service-key=%ERRORLEVEL%",
        f"reg query {EVENTLOG_KEY}\\{service} > nul 2>&1", "echo source-key=%ERRORLEVEL%",
        "echo ==reinstall", f'"{win_path(exe)}" -install', "echo exit=%ERRORLEVEL%",
    ])
    out, err = proc.stdout.decode("latin-1"), proc.stderr.decode("latin-1")
    assert out.startswith("==missing exit=0\r\n==not-a-switch\r\n"), "nothing on stdout but the marks"
    assert "does not exist" in err.lower() and "Service uninstalled" not in err and NO_RUNTIME in err
    assert out.count(f"Service installed: {service}") == 2 and f"Service is already installed: {service}" in err
    before = section(proc.stdout, f"Service installed: {service}", "==again")
    after = section(proc.stdout, "==second exit=0", "==uninstall")
    assert "first" in before and after.strip() == before.strip(), "the second install changed nothing"
    uninstall = section(proc.stdout, "==uninstall", "==reinstall")
    assert f"Service uninstalled: {service}\r\nexit=0" in uninstall
    assert "service-key=1" in uninstall, "the service's key went with the service"
    assert "source-key=0" in uninstall, "the event-log source stays for reuse"
    assert f"Service installed: {service}\r\nexit=0" in out.split("==reinstall", 1)[1]
    assert registry_values(rf"{SERVICES_KEY}\{service}")["Description"][1] == "first"


def test_windowed_build_installs_with_the_same_rules(wine, scratch, service):
    # Message boxes need a display; the result is checked in the registry instead of the box text.
    exe = make_launcher(scratch, service, stub="stubwin.exe")
    proc = wine.run(exe, "-install", env={"DISPLAY": ""}, timeout=60)
    assert proc.returncode == 0
    assert registry_values(rf"{SERVICES_KEY}\{service}")["ImagePath"][1] == f'"{win_path(exe)}" -startsvc'


# The limits are the unit tests' matter; here, the launcher's own name and path measured against them.
@pytest.mark.parametrize("case, message", [
    ("name", b"longer than 216 characters"), ("command", b"longer than 268 characters"),
    ("switch", b'service switch "-run as service" is empty or holds a space'),
])
def test_install_beyond_a_limit_or_with_a_switch_of_two_words_is_refused(wine, scratch, service, case, message):
    name = service + "n" * (217 - len(service)) if case == "name" else service
    switch = "-" + "s" * (268 - len(win_path(scratch / "app" / "app.exe"))) if case == "command" else "-startsvc"
    exe = make_launcher(scratch, name, ServiceSwitch=switch if case != "switch" else "-run_as_service")
    if case == "switch":  # the configuration tool refuses such a switch; a launcher configured otherwise too
        exe.write_bytes(exe.read_bytes().replace("-run_as_service".encode("utf-16-le"),
                                                 "-run as service".encode("utf-16-le")))
    proc = wine.run(exe, "-install")
    assert (proc.returncode, proc.stdout) == (0, b"")
    assert message in proc.stderr
    assert registry_values(rf"{SERVICES_KEY}\{name}") is None
    assert registry_values(rf"{EVENTLOG_KEY}\{name}") is None


# ---- running under the Service Control Manager --------------------------------------------------

def test_service_switch_at_a_prompt_logs_one_error(scratch, service, service_prefix):
    # Wine hands a start to whichever process first opens the pipe ServiceCurrent names: a dispatcher called
    # while RpcSs starts would take RpcSs's start. So the switch waits for RpcSs, with the counter pointed at
    # a pipe nobody serves, as at a prompt on Windows.
    exe = make_launcher(scratch, service)
    proc = run_scenario(scratch, [
        *poll_state("RpcSs", "RUNNING"),
        r"reg add HKLM\SYSTEM\CurrentControlSet\Control\ServiceCurrent /ve /t REG_DWORD /d 4000000000 /f > nul",
        f'"{win_path(exe)}" -startsvc', "echo exit=%ERRORLEVEL%",
    ])
    assert "exit=0" in proc.stdout.decode("latin-1")
    logged = events(proc.stderr)
    assert len(logged) == 1, logged
    assert logged[0][0] == "error"
    assert NO_RUNTIME not in logged[0][1], "no application was started"


@pytest.mark.parametrize("url", [None, "https://example.com/java"])
def test_service_without_runtime_starts_then_fails_and_stops(scratch, service, service_prefix, url):
    """A download address joins the no-runtime record, on a line of its own."""
    exe = make_launcher(scratch, service, **({"JavaDownloadUrl": url} if url else {}))
    proc = run_scenario(scratch, [
        f'"{win_path(exe)}" -install',
        f"net start {service}",
        SLEEP, SLEEP,
        "echo ==final", f'"{win_path(PROBE)}" {service}',
    ])
    assert events(proc.stderr) == [
        ("info", f"The {service} service has started."),
        ("error", NO_RUNTIME + (f"\\r\\n{url}" if url else "")),
        ("error", f"The {service} service failed to start."),
    ]
    assert probed(proc.stdout, "==final", "state", "win32_exit", "specific_exit") == ["1", "1066", "1"]


# A service inherits no test environment and Wine ignores a service's "Environment" value: the double's
# variables go into the system environment, which the next services.exe reads.

@pytest.fixture
def system_environment(service_prefix):
    names = []

    def set_values(values):
        assert not any(c in value for value in values.values() for c in '"%'), "kept out of cmd's way"
        names.extend(values)
        wine_batch([f'reg add "{SYSTEM_ENV_KEY}" /v {name} /t REG_SZ /d "{value}" /f'
                    for name, value in values.items()])

    yield set_values
    if names:
        wine_batch([f'reg delete "{SYSTEM_ENV_KEY}" /v {name} /f' for name in names])



def main_calls(log_path):
    """Each call of the application's main in the double's log: (thread, arguments)."""
    return [(f[-1], f[4:-1]) for f in double_log(log_path) if f[0] == "CallStaticVoidMethod" and f[2] == "main"]


def double_service(scratch, service, system_environment, main_script, environment=None, build=X64, **extra):
    log = scratch / "double.log"
    system_environment({"JVMDOUBLE_LOG": win_path(log), "JVMDOUBLE_MAIN": main_script, **(environment or {})})
    exe = make_launcher(scratch, service, JvmPath=win_path(build.double), ClassPath="", build=build, **extra)
    return exe, log


def started_then_stopped(service):
    return [("info", f"The {service} service has started."), ("info", f"The {service} service has stopped.")]


def stop_scenario(exe, service, *before_stop):
    """Install, start, stop: `==stopping` just before the stop, `==stopped` once STOPPED (or after 30 polls)."""
    return [f'"{win_path(exe)}" -install', f"net start {service}", SLEEP,
            "echo ==running", f"sc query {service}", *before_stop,
            "echo ==stopping", f"net stop {service}", *poll_state(service, "STOPPED"), "echo ==stopped",
            f"sc query {service}"]


def assert_stopped_promptly(proc, service):
    out = proc.stdout.decode("latin-1")
    assert service_state(out, "==running") == "RUNNING"
    assert service_state(out, "==stopped") == "STOPPED"
    assert proc.marks["==stopped"] - proc.marks["==stopping"] < 10
    assert events(proc.stderr) == started_then_stopped(service), "stopped, and never timed out"


# "waitstop": main runs until told to stop; "worker": main returns and DestroyJavaVM waits for its thread when
# the stop comes. The x86 row (started by the 64-bit manager) leaves the start arguments empty: main gets AppOptions.
@pytest.mark.parametrize("script, system_exit, build", [
    ("waitstop", "0", X64), ("worker", "0", X64), ("waitstop", "1", X64), ("worker", "1", X64), ("waitstop", "0", X86),
], ids=["waitstop-0", "worker-0", "waitstop-1", "worker-1", "waitstop-0-x86"])
def test_stop_reaches_the_application(scratch, service, system_environment, script, system_exit, build):
    start = 'run "two words"' if build is X64 else ""
    exe, log = double_service(scratch, service, system_environment, script, ServiceStopWithSystemExit=system_exit,
                              ServiceStartArguments=start, ServiceStopArguments="stop now",
                              AppOptions="from app options", build=build)
    proc = run_scenario(scratch, stop_scenario(exe, service))
    assert_stopped_promptly(proc, service)

    lines = double_log(log)
    options = [fields[1:-1] for fields in lines if fields[0] == "option"]
    attach = next(i for i, fields in enumerate(lines) if fields[0] == "AttachCurrentThread")
    assert lines[attach][2] == "Tarvik stopper thread"
    stopper = lines[attach][-1]
    if script == "worker":
        destroy = next(i for i, fields in enumerate(lines) if fields[0] == "DestroyJavaVM")
        assert destroy < attach, "the stop came after main had returned"
    calls = main_calls(log)
    assert options[-1] == ["exit", "extraInfo=nonnull"], "the exit hook comes after the configured options"
    if system_exit == "0":
        first = ["run", "two words"] if start else ["from", "app", "options"]
        assert [args for _, args in calls] == [first, ["stop", "now"]]
        assert calls[1][0] == stopper != calls[0][0]
    else:
        assert [args for _, args in calls] == [["run", "two words"]]
        exits = [fields for fields in lines if fields[:3] == ["CallStaticVoidMethod", "java/lang/System", "exit"]]
        assert [(fields[3], fields[-1]) for fields in exits] == [("0", stopper)]
        assert ["exit-hook", "0"] in [fields[:2] for fields in lines]


def test_stop_during_jvm_creation_keeps_main_from_beginning(scratch, service, system_environment):
    gate = scratch / "create-gate"
    exe, log = double_service(scratch, service, system_environment, "waitstop",
                              environment={"JVMDOUBLE_CREATE_GATE": win_path(gate)},
                              ServiceStopWithSystemExit="1", ServiceStartArguments="run")
    # Creation ends once the gate file exists, after `net stop` returned: the stop comes during creation.
    proc = run_scenario(scratch, [
        f'"{win_path(exe)}" -install', f"net start {service}",
        f"net stop {service}", f'echo open> "{win_path(gate)}"',
        *poll_state(service, "STOPPED"), "echo ==stopped", f"sc query {service}",
    ])
    assert service_state(proc.stdout.decode("latin-1"), "==stopped") == "STOPPED"
    assert events(proc.stderr) == started_then_stopped(service)
    functions = [fields[0] for fields in double_log(log)]
    assert "JNI_CreateJavaVM" in functions and "DestroyJavaVM" in functions
    assert main_calls(log) == [], "main was never called"
    assert "AttachCurrentThread" not in functions, "neither a stop call nor System.exit"


# How a run ends, read back through QueryServiceStatusEx: a clean stop reports no error; each failure
# ERROR_SERVICE_SPECIFIC_ERROR (1066) and its own code, with an event-log record that says what happened.
# The application's System.exit reaches the launcher's exit hook whether or not stops use System.exit.
@pytest.mark.parametrize("main_script, fault, code, record", [
    ("waitstop", "", 0, "has stopped."),
    ("print", "exception:main", 2, "has stopped after a failure of the application."),
    ("exit:3", "", 3, "has stopped after a failure of the application."),
    ("exit:0", "", 0, "has stopped."),
    ("ignorestop", "", 4, "did not stop in time and was ended."),
], ids=["clean-stop", "main-exception", "exit-3", "exit-0", "stop-timeout"])
def test_service_end_is_reported_with_its_exit_code(scratch, service, system_environment, main_script, fault, code,
                                                    record):
    exe, _ = double_service(scratch, service, system_environment, main_script, environment={"JVMDOUBLE_FAIL": fault},
                            ServiceStartArguments="run", ServiceStopArguments="stop", ServiceStopSeconds="10")
    stop = ["echo ==stopping", f"sc stop {service} > nul", SLEEP, "echo ==pending", f'"{win_path(PROBE)}" {service}', SLEEP,
            "echo ==later", f'"{win_path(PROBE)}" {service}'] if main_script in ("waitstop", "ignorestop") else []
    proc = run_scenario(scratch, [
        f'"{win_path(exe)}" -install', f"net start {service}", SLEEP, *stop,
        *poll_state(service, "STOPPED"), "echo ==final", f'"{win_path(PROBE)}" {service}',
    ])
    logged = events(proc.stderr)
    assert logged[0] == ("info", f"The {service} service has started.")
    assert logged[-1] == ("info" if code == 0 else "error", f"The {service} service {record}")
    assert probed(proc.stdout, "==final", "state", "win32_exit", "specific_exit") == \
        ["1", "1066" if code else "0", str(code)]
    if main_script == "ignorestop":
        timeout_event = ("error", f"The {service} service has timed out during a stop request and will be terminated.")
        assert timeout_event in logged
        pending, later = (probed(proc.stdout, marker, "state", "check_point", "wait_hint") for marker in ("==pending", "==later"))
        assert pending[0] == later[0] == "3", "stop pending while the watchdog runs"
        assert 1 < int(pending[1]) < int(later[1]), "the check point rises"
        assert 10000 <= int(later[2]) < int(pending[2]) <= 20000, "the wait hint covers the time that remains"


# ServiceApp's main runs until told to stop; WorkerService's returns and leaves a non-daemon worker.
@pytest.mark.parametrize("main_class, system_exit", [
    ("testapps.ServiceApp", "0"),
    ("testapps.WorkerService", "0"),
    ("testapps.WorkerService", "1"),
])
def test_real_java_service_stops_on_request(scratch, service, service_prefix, main_class, system_exit):
    out = scratch / "service-out.txt"
    exe = make_launcher(scratch, service, JvmPath=win_path(BRIDGE_JVM), ClassPath=win_path(TESTAPPS_JAR),
                        MainClass=main_class, ServiceStartArguments="run", ServiceStopArguments="stop",
                        ServiceStopWithSystemExit=system_exit, SystemOutFile=win_path(out),
                        # Java 17's number, which is no JNI version: the stopper still attaches under its name.
                        MinJavaVersion="0x00110000")
    proc = run_scenario(scratch, stop_scenario(exe, service, SLEEP))
    assert_stopped_promptly(proc, service)
    text = out.read_text(encoding="latin-1")
    if main_class == "testapps.WorkerService":
        assert "main returns" in text
        assert (exe.parent / "shutdown-hook.txt").read_text() == "shutdown hook ran\n"
    if system_exit == "0":
        assert "stop called on thread: Tarvik stopper thread" in text
        assert ("worker stopped on request" if main_class == "testapps.WorkerService" else "run stopped on request") in text
