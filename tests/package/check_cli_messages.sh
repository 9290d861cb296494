#!/usr/bin/env bash
# check_cli_messages.sh WINERUN ZQPLATUTIL_EXE
# What the tool says when it cannot do what was asked: one row per command
# line, with its exit code and a text (grep -E) that its output must hold. A
# failing command writes nothing to standard output. "nodisplay" in front runs
# the command without DISPLAY, NAME=VALUE in front with that variable set.
set -euo pipefail
winerun=$1 exe=$2
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# command line <TAB> exit code <TAB> expected text
table=$(cat <<'ROWS'
winrt	0	zqGetUIMode: [0-9]
reg get 'HKCU\Software\ZqNoSuchKey' X	1	^zqplatutil: key 'HKCU\\Software\\ZqNoSuchKey' not found
reg get 'HKCU\Environment' ZqNoSuchValue	1	value 'ZqNoSuchValue' not found in key 'HKCU\\Environment'
reg ls 'HKCU\Software\ZqNoSuchKey'	1	key 'HKCU\\Software\\ZqNoSuchKey' not found
reg ls 'HKCU\Environment'	1	key 'HKCU\\Environment' has no subkeys
reg set 'HKCU\Software\ZqCliMessages\Sub' Level --dword 3	0	^$
reg set 'HKCU\Software\ZqCliMessages\Sub' LongerName --string x	0	^$
reg ls 'HKCU\Software\ZqCliMessages\Sub' --values	0	^Level       REG_DWORD$
reg del 'HKCU\Software\ZqCliMessages'	1	cannot delete key 'HKCU\\Software\\ZqCliMessages': it has subkeys
reg del 'HKCU\Software\ZqCliMessages' --tree	0	^$
reg del 'HKCU\Software\ZqCliMessages' --tree	1	key 'HKCU\\Software\\ZqCliMessages' not found
reg ls 'HKCU\Environment' --values --bogus	2	^zqplatutil: unknown option --bogus$
time parse garbage	1	'garbage' is not ISO 8601 text the library accepts .*\(error 87\)
time parse 2020-06T00Z	1	'2020-06T00Z' is not ISO 8601 text the library accepts: it reads as 2020-06-00
time parse 2020-02-31T00:00:00Z	1	'2020-02-31T00:00:00Z' is not ISO 8601 text the library accepts: it reads as 2020-02-31
time parse 2020-06-01T12:00:00Z	0	day of week 0: the library leaves it 0 for a "Z" text; the day is a Monday
time compare 2020-06-01T00:00:00Z nonsense	1	'nonsense' is not ISO 8601 text the library accepts
time now --local	0	Z  \(local wall-clock time; the Z is the library's\)$
time format 3000000000000000000	0	^11107-08-17T05:20:00  \(year 11107: the library cuts years past 9999
user sid nobodyhere	1	no account 'nobodyhere' .*: [^ ].* \(error [0-9]+\)$
user convert jdoe	0	^domain: \(none
token --bogus	2	^zqplatutil: unknown option --bogus$
token x	2	^zqplatutil: token takes no arguments$
drives x	2	^zqplatutil: drives takes no arguments$
whoami x	2	^zqplatutil: whoami takes no arguments$
tse x	2	^zqplatutil: tse takes no arguments$
winrt x	2	^zqplatutil: winrt takes no arguments$
nodisplay toast Title Text	1	the toast 'Title' was not shown: .*DISPLAY is not set
nodisplay toast Title Text --thread	1	the toast 'Title' was not shown: .*DISPLAY is not set
nodisplay prompt --title T	1	the password dialog could not be shown: .*DISPLAY is not set
VXLOG_LEVELS=bogus time format 0	0	^vxlog: VXLOG_LEVELS=bogus: 'bogus' is not a level; keeping levels none$
VXLOG_STDERR=yes time format 0	0	^vxlog: VXLOG_STDERR=yes is neither 1 nor 0: nothing goes to standard error$
'VXLOG_FILE=C:\ZqNoSuchFolder\x.log' time format 0	0	^vxlog: VXLOG_FILE=C:\\ZqNoSuchFolder\\x.log cannot be opened \(error 3\): no log file$
ROWS
)

rows=0
while IFS=$'\t' read -r line code text; do
  rows=$((rows + 1))
  eval "args=($line)"
  runner=("$winerun")
  if [ "${args[0]}" = nodisplay ]; then
    runner=(env -u DISPLAY "$winerun")
    args=("${args[@]:1}")
  elif [[ ${args[0]} == VXLOG_*=* ]]; then
    runner=(env "${args[0]}" "$winerun")
    args=("${args[@]:1}")
  fi
  status=0
  "${runner[@]}" "$exe" "${args[@]}" </dev/null >"$work/out" 2>"$work/err" || status=$?
  out=$(tr -d '\r' <"$work/out") err=$(tr -d '\r' <"$work/err")
  ((status == code)) || fail "'$line' exited with $status, not $code: $out$err"
  if [ "$text" = '^$' ]; then
    [ -z "$out$err" ] || fail "'$line' printed: $out$err"
  else
    grep -Eq -- "$text" <<<"$out"$'\n'"$err" || fail "'$line' did not print /$text/ but: $out$err"
  fi
  ((code == 0)) || [ -z "$out" ] || fail "'$line' failed and still wrote to standard output: $out"
done <<<"$table"

((failures == 0)) || exit 1
echo "$rows command lines answered as expected"
