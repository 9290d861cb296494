#!/usr/bin/env bash
# Set-up, build, then every test through ctest under Wine (and Xvfb for windows).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
"$top/scripts/build.sh"

export WINEPREFIX="$top/build/wineprefix" WINEARCH=win64 WINEDEBUG=-all

source "$top/scripts/testenv.sh"
start_test_env 90
trap stop_test_env EXIT

cd "$top"
# A test that fails is run once more: Wine on a loaded machine can miss a
# window or thread deadline; a real fault fails both times.
ctest --preset mingw -j2 --repeat until-pass:2 "$@"
