#!/usr/bin/env python3
"""Mutation check of the portable code: applies each mutation below alone, rebuilds the host build
incrementally, runs the unit tests and the fuzz replays, and prints which mutations the tests kill.

A mutation is a file, an exact snippet and its replacement. A snippet found no longer (in its file or,
once, anywhere in the portable sources, for code that moved) is reported stale and not counted.
  python3 tests/mutants.py [--list] [--only TEXT ...] [--json FILE]
"""
import argparse
import glob
import json
import os
import re
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, "build", "host")

T, TOK, PROF = "src/core/text.cpp", "src/core/tokenizer.cpp", "src/core/profile_text.cpp"
MSG, CIPH, CFG = "src/core/message_format.cpp", "src/core/main_class_cipher.cpp", "src/core/launch_config.cpp"
RS, JO, MCR = "src/runtime/runtime_search.cpp", "src/jvm/jvm_options.cpp", "src/jvm/main_class_runner.cpp"
SR, SW, SP = "src/service/service_rules.cpp", "src/service/service_switch.cpp", "src/splash/splash_rules.cpp"
SS = "src/service/service_setup.cpp"
LR, INI = "tools/stubconfig/launcher_resources.cpp", "tools/stubconfig/launcher_ini.cpp"
MAN, SB, PE = "tools/stubconfig/manifest.cpp", "tools/stubconfig/string_block.cpp", "tools/stubconfig/pe_image.cpp"

MUTATIONS = [
    # UTF-8 and UTF-16
    (T, "if (lead < 0x80) {", "if (lead <= 0x80) {"),
    (T, "length = 2, minimum = 0x80,", "length = 2, minimum = 0x7F,"),
    (T, "if (c < 0x80) {\n    out += static_cast<char>(c);", "if (c <= 0x80) {\n    out += static_cast<char>(c);"),
    (T, "} else if (c < 0x800) {", "} else if (c <= 0x800) {"),
    (T, "} else if (c < 0x10000) {\n    out += static_cast<char>(0xE0",
     "} else if (c <= 0x10000) {\n    out += static_cast<char>(0xE0"),
    (T, "c > 0x10FFFF", "c > 0x10FFFE"),
    (T, "if (c < 0x10000) {\n    out += static_cast<char16_t>(c);",
     "if (c <= 0x10000) {\n    out += static_cast<char16_t>(c);"),
    (T, "0xDC00 | (c & 0x3FF)", "0xDC00 | (c & 0x1FF)"),
    (T, "utf16[i + 1] <= 0xDFFF", "utf16[i + 1] < 0xDFFF"),
    (T, "c >= 0xD800 && c <= 0xDBFF && i + 1", "c >= 0xD800 && c < 0xDBFF && i + 1"),
    (T, "(lead & 0xF8) == 0xF0", "(lead & 0xF0) == 0xF0"),
    (T, "std::string(bytes.substr(3))", "std::string(bytes.substr(2))"),
    (T, "text.size() >= suffix.size() &&", "text.size() > suffix.size() &&"),
    # Tokenizer
    # Equivalent: a one-character token that opens with a quote ends the text, so both give "".
    (TOK, "end - start < 2 ? std::string()", "end - start < 1 ? std::string()"),
    (TOK, "if (!text.empty()) tokens.emplace_back();", "if (text.empty()) tokens.emplace_back();"),
    (TOK, "if (!last_was_space) tokens.push_back", "if (!last_was_space || inside_quotes) tokens.push_back"),
    (TOK, "*cursor = end + 1;", "*cursor = end;"),
    (TOK, "command_line.size() : close + 1;", "command_line.size() : close;"),
    (TOK, 'constexpr std::string_view kBlanks = " \\t";', 'constexpr std::string_view kBlanks = " ";'),
    # Profile text
    (PROF, 'const std::size_t first = text.find_first_not_of(" \\t");',
     'const std::size_t first = text.find_first_not_of(" ");'),
    (PROF, '&& value.back() == value.front()) {', ') {'),
    # Equivalent: a key that starts with ';' names no setting. So is the next: CR LF then reads as CR and
    # an empty line.
    (PROF, "if (line.empty() || line.front() == ';') continue;", "if (line.empty()) continue;"),
    (PROF, "if (section_seen) return std::nullopt;", "if (section_seen && !in_section) return std::nullopt;"),
    (PROF, "text[pos] == '\\n') ++pos;", "text[pos] == '\\r') ++pos;"),
    # Message format
    (MSG, "text.append(*next_arg++);", "text.append(*next_arg);"),
    (MSG, "text.push_back('%');\n      ++i;", "text.push_back('%');"),
    (MSG, "text.resize(kMaxMessageLength);", "text.resize(kMaxMessageLength + 1);"),
    # Main-class cipher
    (CIPH, "kKeyStreamLength = sizeof(kMainClassKey);", "kKeyStreamLength = sizeof(kMainClassKey) - 1;"),
    (CIPH, "if (c >= 'a' && c <= 'f')", "if (c >= 'a' && c < 'f')"),
    (CIPH, "if (byte == 0) break;", "if (byte == 0) continue;"),
    (CIPH, "k < kMaxMainClassLength", "k <= kMaxMainClassLength"),
    # Launch configuration
    (CFG, "return text.empty() || text.front() != '0';", "return !text.empty() && text.front() != '0';"),
    (CFG, "if (value > INT_MAX) return INT_MAX;", "if (value > INT_MAX) return INT_MIN;"),
    (CFG, "return negative ? 0u - value : value;", "return negative ? ~value : value;"),
    (CFG, "(text[pos + 1] == 'x' || text[pos + 1] == 'X')", "text[pos + 1] == 'x'"),
    (CFG, "if (value && !value->empty()) texts", "if (value) texts"),
    (CFG, "if (c == '.') c = '/';", "if (c == '.') c = '\\\\';"),
    (CFG, 'loaded == "<null>"', 'loaded == "null"'),
    (CFG, "return c == ' ' || c == '\\t' ||", "return c == ' ' ||"),
    # Runtime search
    (RS, "IsSeparator(path[length - 1]) && path[length - 2] != ':'", "IsSeparator(path[length - 1])"),
    (RS, "found.home, library, kFirstGenerationCandidate);", "found.home, library);"),
    (RS, "return version->minor >= required.minor;", "return version->minor > required.minor;"),
    (RS, "min_java_version >> 16", "min_java_version >> 8"),
    (RS, "if (mode > 7) mode = 4;", "if (mode > 7) mode = 7;"),
    (RS, "(mode & 2) == 0 ? 2u : 1u", "(mode & 2) == 0 ? 1u : 2u"),
    (RS, "*ParseRuntimeVersion(best.version) < *ParseRuntimeVersion(offer.version)",
     "!(*ParseRuntimeVersion(offer.version) < *ParseRuntimeVersion(best.version))"),
    (RS, "return a.parts[i] < b.parts[i];", "return a.parts[i] > b.parts[i];"),
    (RS, "separator != '.' && separator != '_' &&", "separator != '.' &&"),
    (RS, "line.back() == '\\r' || line.back() == ' '", "line.back() == ' '"),
    (RS, "if (result.back() == ':') result += '\\\\';", "if (result.back() == '\\\\') result += '\\\\';"),
    (RS, 'EqualsIgnoringAsciiCase(LastName(above), "bin")', 'LastName(above) == "bin"'),
    (RS, "if (*machine != 0 && *machine != search.machine) {", "if (*machine != search.machine) {"),
    (RS, "for (int i = 3; i >= 0; --i) offset", "for (int i = 2; i >= 0; --i) offset"),
    (RS, "(machine >> (4 * i)) & 0xF]", "(machine >> (4 * i)) & 0x7]"),
    (RS, "(c == '\\t' || c == '\\r' || c == '\\n') ? ' '", "(c == '\\t' || c == '\\n') ? ' '"),
    (RS, "{RegistryRoot::kLocalMachine, RegistryRoot::kCurrentUser}",
     "{RegistryRoot::kCurrentUser, RegistryRoot::kLocalMachine}"),
    (RS, "return IsUsableLibrary(search, step, library);\n  }",
     "if (IsUsableLibrary(search, step, library)) return true;\n  }"),
    (RS, "found.home = WithoutTrailingSeparators(path);", "found.home = path;"),
    (RS, "if (found.home.empty()) found.home = HomeOfLibrary", "if (!found.home.empty()) found.home = HomeOfLibrary"),
    # JVM options and class path
    (JO, '|| EndsWithIgnoringAsciiCase(name, ".zip")', ""),
    (JO, "fs_.Identity(path) == java_home_) return;", "path == java_home_) return;"),
    (JO, "(directory.back() == '\\\\' || directory.back() == '/')", "directory.back() == '\\\\'"),
    (JO, "result.append(text, open + 1, std::string::npos);", "result.append(text, open, std::string::npos);"),
    (JO, "if (kind < 0) return false;", "if (kind < 0) continue;"),
    (JO, 'option.find_first_of("=:")', "option.find('=')"),
    (JO, "if (rest == std::string::npos || !code_page.CanCarry(piece.substr(rest))) return false;",
     "if (rest == std::string::npos) return false;"),
    # Running main
    (MCR, "call.arguments.empty() ? defaults : call.arguments", "call.arguments"),
    (MCR, "if (call.may_begin != nullptr && !call.may_begin()) return true;",
     "if (call.may_begin != nullptr && !call.may_begin()) return false;"),
    (MCR, "if (!call.redirect) return true;", "if (call.redirect) return true;"),
    (MCR, "exit_method, static_cast<jint>(0));", "exit_method, static_cast<jint>(1));"),
    # Service rules and switches
    (SR, "if (args.size() != 2) return", "if (args.size() < 2) return"),
    (SR, "if (!switches[i]->empty() && args[1] == *switches[i])", "if (args[1] == *switches[i])"),
    (SR, "if (service_name.size() > kMaxServiceNameLength) {", "if (service_name.size() >= kMaxServiceNameLength) {"),
    (SR, "service_switch.size() > kMaxServiceCommandPartsLength) {",
     "service_switch.size() >= kMaxServiceCommandPartsLength) {"),
    (SR, '.append("\\" ").append(service_switch)', '.append("\\"").append(service_switch)'),
    (SR, "record_.wait_hint = remaining_ms + kStopMarginMs;", "record_.wait_hint = kStopMarginMs;"),
    (SR, "++record_.check_point;", ""),
    (SR, "record_.win32_exit_code = code == 0 ? 0 : kErrorServiceSpecific;", "record_.win32_exit_code = 0;"),
    (SR, "|| control == kControlPreshutdown;", ";"),
    (SR, "|| expected == kStoppedBeforeMain) {", ") {"),
    (SR, "if (phase_.load() == kMainBegun) return true;", "if (phase_.load() != kGone) return true;"),
    (SR, "return callers_.load() == 0;", "return true;"),
    (SR, "if (record_.current_state != kServiceStopPending) return false;", ""),
    (SS, "if (!list.empty()) list.push_back(u'\\0');", ""),
    (SS, "if (setup.delayed_start && !setup.manual_start) {", "if (setup.delayed_start) {"),
    (SS, "{kActionRestart, delay_ms}, {kActionRestart, delay_ms}};", "{kActionRestart, delay_ms}, {0, delay_ms}};"),
    (SS, "account.is_user ? password.c_str() : nullptr", "password.c_str()"),
    (SW, "executable_path) == 0) {", "executable_path) != 0) {"),
    (SW, "case ServiceSwitchKind::kNone:\n      return false;", "case ServiceSwitchKind::kNone:\n      return true;"),
    (SW, "if (UninstallService(config.ServiceName()) == 0)", "if (UninstallService(config.ServiceName()) != 0)"),
    # Splash
    (SP, "return show_splash || splash_seconds > 0;", "return show_splash || splash_seconds >= 0;"),
    (SP, "static_cast<std::int64_t>(splash_seconds) * 1000", "static_cast<std::int64_t>(splash_seconds) * 100"),
    (SP, "(static_cast<std::int64_t>(screen_width) - window_width) / 2",
     "(static_cast<std::int64_t>(screen_width) - window_width) >> 1"),
    # Configuration tool
    (LR, "if ((c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c) != expected[i])", "if (c != expected[i])"),
    (LR, "if (header < 12 ||", "if (header < 40 ||"),
    (LR, "if (size == 0 || !InBounds(ico.size(), offset, size))", "if (!InBounds(ico.size(), offset, size))"),
    (LR, "if (!language_taken) language = group_language;", "if (language_taken) language = group_language;"),
    (MAN, "const int digit = hex ? stub::HexDigitValue(c) : (c >= '0' && c <= '9' ? c - '0' : -1);",
     "const int digit = stub::HexDigitValue(c);"),
    (INI, "number < INT32_MIN || number > INT32_MAX", "number > INT32_MAX"),
    (INI, 'name == "SplashSeconds" && number < 0', 'name == "SplashSeconds" && number < -1'),
    (INI, "digits.empty() || digits.size() > 8", "digits.empty() || digits.size() > 9"),
    (INI, "if (c == '.' && !at_start) {", "if (c == '.') {"),
    (INI, "if (arguments > 1) return", "if (arguments > 2) return"),
    (INI, "byte >= 0x80 && byte <= 0x9F ?", "byte >= 0x80 && byte < 0x9F ?"),
    (INI, "characters < kMaxQuoted;", "characters <= kMaxQuoted;"),
    (SB, "offset += length * 2;", "offset += length;"),
    (PE, "return static_cast<std::uint32_t>(sum + file.size());", "return static_cast<std::uint32_t>(sum);"),
    # Added after the first measurement: the switch handling with typed results (bool and ServicePresence)...
    (SW, "if (InstallService(config.ServiceName(), config.ServiceDescription(), executable_path)) {",
     "if (!InstallService(config.ServiceName(), config.ServiceDescription(), executable_path)) {"),
    (SW, "if (UninstallService(config.ServiceName())) ReportInfo",
     "if (!UninstallService(config.ServiceName())) ReportInfo"),
    (SW, "ReportError(config.ServiceExistsMessage()", "ReportInfo(config.ServiceExistsMessage()"),
    # The same, once the configuration reaches each stage as a struct of its own.
    (SW, "if (InstallService(entry, executable_path)) ReportInfo",
     "if (!InstallService(entry, executable_path)) ReportInfo"),
    (SW, "if (UninstallService(entry.name)) ReportInfo", "if (!UninstallService(entry.name)) ReportInfo"),
    (SW, "ReportError(switches.exists_message", "ReportInfo(switches.exists_message"),
    (JO, "if (rest == std::string::npos || !CanCarry(code_page, piece.substr(rest))) return false;",
     "if (rest == std::string::npos) return false;"),
    # ... and code that moved or changed type since: the one string-block reader, the typed entry kinds.
    ("src/core/string_block.cpp", "offset += 2 * length;", "offset += length;"),
    ("src/core/string_block.cpp", "if ((size - offset) / 2 < length) return false;",
     "if ((size - offset) / 2 + 1 < length) return false;"),
    (JO, "if (kind == ClassPathFileSystem::EntryKind::kInaccessible) return false;",
     "if (kind == ClassPathFileSystem::EntryKind::kInaccessible) continue;"),
]


def portable_sources():
    files = glob.glob(os.path.join(ROOT, "src", "**", "*.cpp"), recursive=True)
    files += glob.glob(os.path.join(ROOT, "tools", "stubconfig", "*.cpp"))
    return [f for f in files if not f.endswith("_win.cpp")]


def locate(rel, snippet):
    """The file holding the snippet once: its own, else the one portable source that holds it."""
    path = os.path.join(ROOT, rel)
    if os.path.exists(path) and open(path, encoding="utf-8").read().count(snippet) == 1:
        return path
    holders = [f for f in portable_sources() if open(f, encoding="utf-8").read().count(snippet) == 1]
    return holders[0] if len(holders) == 1 else None


def replay_targets():
    text = open(os.path.join(ROOT, "fuzz", "CMakeLists.txt"), encoding="utf-8").read()
    return re.findall(r"^stub_fuzz_target\((\w+)", text, re.M)


def build(*targets):
    return subprocess.run(["cmake", "--build", BUILD, "--target", *targets], cwd=ROOT,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0


def passes(command, timeout=300):
    try:
        return subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=timeout).returncode == 0
    except subprocess.TimeoutExpired:
        return False


def outcome_of_tree():
    """"invalid" (does not build), "killed" or "survived". The unit tests run in one process (faster
    than one per case, as ctest runs them); the replays are built and run only when those pass."""
    if not build("unit_tests"):
        return "invalid"
    if not passes([os.path.join(BUILD, "tests", "unit", "unit_tests"), "--gtest_fail_fast"]):
        return "killed"
    names = replay_targets()
    if not build(*("replay_" + name for name in names)):
        return "invalid"
    for name in names:
        if not passes([os.path.join(BUILD, "fuzz", "replay_" + name), os.path.join(ROOT, "fuzz", "corpus", name)]):
            return "killed"
    return "survived"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--list", action="store_true", help="show the mutations and whether each still applies")
    parser.add_argument("--only", nargs="*", default=[], help="run the mutations whose file or snippet holds one")
    parser.add_argument("--json", help="write the outcome of each mutation to this file")
    args = parser.parse_args()
    chosen = [(i, m) for i, m in enumerate(MUTATIONS, 1)
              if not args.only or any(o in m[0] or o in m[1] for o in args.only)]
    if args.list:
        for i, (rel, old, new) in chosen:
            print(f"{i:3} {'ok   ' if locate(rel, old) else 'stale'} {rel}: {old!r} -> {new!r}")
        return 0
    if not os.path.exists(os.path.join(BUILD, "build.ninja")):
        subprocess.run(["cmake", "--preset", "host"], cwd=ROOT, check=True, stdout=subprocess.DEVNULL)
    if outcome_of_tree() != "survived":
        print("the unmutated tree does not build or its tests fail; nothing to measure", file=sys.stderr)
        return 2
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))  # so that the mutated file is restored
    outcome = {}
    start = time.time()
    for i, (rel, old, new) in chosen:
        path = locate(rel, old)
        if path is None:
            result = "stale"
        else:
            original = open(path, encoding="utf-8").read()
            try:
                with open(path, "w", encoding="utf-8") as f:
                    f.write(original.replace(old, new, 1))
                result = outcome_of_tree()
            finally:
                with open(path, "w", encoding="utf-8") as f:
                    f.write(original)
        outcome[f"{rel}: {old}"] = result
        print(f"{i:3} {result:8} {os.path.relpath(path, ROOT) if path else rel}: {old!r} -> {new!r}", flush=True)
    build("unit_tests", *("replay_" + name for name in replay_targets()))
    counted = [r for r in outcome.values() if r in ("killed", "survived")]
    killed = counted.count("killed")
    print(f"\n{killed} killed, {len(counted) - killed} survived, "
          f"{sum(r == 'stale' for r in outcome.values())} stale, {sum(r == 'invalid' for r in outcome.values())} "
          f"invalid; kill rate {100.0 * killed / max(len(counted), 1):.1f} % ({time.time() - start:.0f} s)")
    if args.json:
        with open(args.json, "w", encoding="utf-8") as f:
            json.dump(outcome, f, indent=1)
    return 0


if __name__ == "__main__":
    sys.exit(main())
