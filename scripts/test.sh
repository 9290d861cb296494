#!/usr/bin/env bash
# Set-up, build, then every test through ctest under Wine (and Xvfb for windows).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
"$top/scripts/build.sh"

export WINEPREFIX="$top/build/wineprefix" WINEARCH=win64 WINEDEBUG=-all

# One display and one wineserver for the whole run.
display=:$((90 + RANDOM % 400))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
wineserver -p 2>/dev/null || true  # one may run already for this prefix
# Wine's background services start with the first program of a server and
# keep its output open: start them here, away from ctest's pipes.
# A program that crashes ends at once instead of waiting in Wine's crash
# dialog, which no test timeout would close.
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 </dev/null || true
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  kill "$xvfb_pid" >/dev/null 2>&1 || true
}
trap cleanup EXIT

cd "$top"
# A test that fails is run once more: Wine on a loaded machine can miss a
# window or thread deadline; a real fault fails both times.
ctest --preset mingw -j2 --repeat until-pass:2 "$@"
