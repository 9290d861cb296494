#!/usr/bin/env bash
# Installs what the build and the tests need, once; quiet when all is there.
set -euo pipefail

packages=(cmake ninja-build g++-mingw-w64-x86-64-posix wine wine64 xvfb xauth googletest wixl)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  # Progress on a terminal only: CI logs stay quiet.
  [ -t 1 ] && echo "[setup] Installing packages (apt-get, a minute or more): ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
