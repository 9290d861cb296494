#!/usr/bin/env bash
# Configures and builds into build/, and readies its private Wine prefix.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

# Progress on a terminal only: CI logs stay quiet, and so does a build with
# nothing to do.
tty=false
[ -t 1 ] && tty=true
say() { if $tty; then echo "[build] $*"; fi; }

if [ ! -f build/build.ninja ]; then
  say "Configuring build/ (preset mingw)"
  cmake --preset mingw >/dev/null
fi
if $tty; then
  targets=$(cmake --build --preset mingw -- -n 2>/dev/null | grep -c '^\[' || true)
  if ((targets > 0)); then
    say "Building $targets targets (from scratch about four minutes on two cores)"
    # Straight to the terminal, where ninja keeps its [done/total] status on one line.
    cmake --build --preset mingw
  fi
else
  cmake --build --preset mingw -- --quiet | { grep -v '^ninja: no work to do' || true; }
fi

# A new prefix takes some seconds; make it once per build tree.
export WINEPREFIX="$top/build/wineprefix" WINEARCH=win64 WINEDEBUG=-all
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  say "Creating the Wine prefix in build/wineprefix (about half a minute)"
  wineboot -u >/dev/null 2>&1 || true
  wineserver -w
fi
