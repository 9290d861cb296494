#!/usr/bin/env bash
# Configures and builds into build/, and readies its private Wine prefix.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

[ -f build/build.ninja ] || cmake --preset mingw >/dev/null
cmake --build --preset mingw -- --quiet | { grep -v '^ninja: no work to do' || true; }

# A new prefix takes some seconds; make it once per build tree.
export WINEPREFIX="$top/build/wineprefix" WINEARCH=win64 WINEDEBUG=-all
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Creating the Wine prefix in build/wineprefix"
  wineboot -u >/dev/null 2>&1 || true
  wineserver -w
fi
