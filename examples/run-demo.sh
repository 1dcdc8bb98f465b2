#!/usr/bin/env bash
# The demo: configures a copy of the console launcher for the example application, puts the
# application's jar beside it and a Java runtime below it, laid out as one shipped with an application
# would be (runtime\bin\server\jvm.dll, found through JvmPath=runtime), and runs it under Wine: once as a
# user would double-click it (the configured default arguments) and once with arguments of its own. On
# Linux the runtime library is the test bridge that hosts Debian's OpenJDK inside the Wine process.
# `make demo` builds everything first; run directly, this script expects `make dist` to have run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
demo="$root/build/demo"
bridge="$root/build/host/bridge/jvm.dll"
jar="$root/build/host/examples/hello/hello.jar"
for needed in "$root/dist/stubcon.exe" "$root/dist/stubconfig" "$bridge" "$jar"; do
  [[ -e $needed ]] || { echo "run-demo.sh: $needed is missing; run 'make demo' (or 'make dist') first" >&2; exit 1; }
done

rm -rf "$demo"
mkdir -p "$demo"
"$root/dist/stubconfig" write --stub "$root/dist/stubcon.exe" --config "$root/examples/hello/hello.ini" \
  --out "$demo/hello.exe"
mkdir -p "$demo/runtime/bin/server"
cp "$bridge" "$demo/runtime/bin/server/jvm.dll"
cp "$jar" "$demo/hello.jar"

# The 64-bit loader itself: the `wine` script would start a 64-bit program through the 32-bit loader
# first wherever Wine's 32-bit support is installed.
wine=/usr/lib/wine/wine64
export WINEPREFIX="$root/build/wineprefix" WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all WINELOADER=$wine
unset JAVA_HOME
# One wineserver for the whole demo, as in the tests: a server that a program starts ends a few seconds
# after it, and a program started just as it ends fails with exit code 1. The prefix comes first (a
# fresh one takes a few seconds and prints Wine's own set-up notes, kept out of the demo); a server
# cannot start without it.
[[ -e $WINEPREFIX/system.reg ]] || "$wine" wineboot -i >/dev/null 2>&1
wineserver -k 2>/dev/null || true
wineserver -w
wineserver -p || { echo "run-demo.sh: no wineserver could be started in $WINEPREFIX" >&2; exit 1; }
trap 'wineserver -k' EXIT

echo "== build/demo, made from dist/stubcon.exe and examples/hello/hello.ini:"
(cd "$demo" && ls -l hello.exe hello.jar runtime/bin/server/jvm.dll | awk '{print "   " $5 "\t" $9}')
echo "== its configuration (stubconfig dump, the settings hello.ini gave it):"
"$root/dist/stubconfig" dump "$demo/hello.exe" | grep -E '^(MainClass|JvmPath|ClassPath|JvmOptions|AppOptions)='

run() {
  echo
  local shown="" arg
  for arg in "$@"; do [[ $arg == *" "* ]] && shown+=" \"$arg\"" || shown+=" $arg"; done
  echo "\$ wine hello.exe$shown"
  set +e
  (cd "$demo" && "$wine" hello.exe "$@")
  status=$?
  set -e
  echo "(exit code $status)"
  [[ $status -eq 0 ]] || { echo "run-demo.sh: the demo application did not run" >&2; exit 1; }
}
run
run "one" "two words" "--three"
