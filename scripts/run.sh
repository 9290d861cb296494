#!/usr/bin/env bash
# Set-up, build, then the command-line tool: its help and one real command.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/setup.sh"
"$top/scripts/build.sh"
zq="$top/build/winerun $top/build/bin/zqplatutil.exe"
$zq --help
$zq reg get 'HKLM\Software\Microsoft\Windows NT\CurrentVersion' CurrentVersion
