# Sourced by the scripts that run tests under Wine, with WINEPREFIX set:
# one display and one wineserver for the whole run. stop_test_env ends both.
start_test_env() {
  local display=:$((${1:-90} + RANDOM % 400))
  Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=$display
  wineserver -p 2>/dev/null || true  # one may run already for this prefix
  # Wine's background services start with the first program of a server and
  # keep its output open: start them here, away from ctest's pipes. A program
  # that crashes ends at once instead of waiting in Wine's crash dialog, which
  # no test timeout would close.
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 </dev/null || true
}
stop_test_env() {
  wineserver -k >/dev/null 2>&1 || true
  kill "$xvfb_pid" >/dev/null 2>&1 || true
}
