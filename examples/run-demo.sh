#!/usr/bin/env bash
# The demo: runs the console launcher under Wine with the configuration it ships with. On a machine
# without a Java runtime it ends, as a user would see it, with the launcher's own error message.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX="$root/build/wineprefix" WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
cd "$root/dist"
echo "\$ wine stubcon.exe"
wine stubcon.exe
status=$?
echo "(exit code $status)"
