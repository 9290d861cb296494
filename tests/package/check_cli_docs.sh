#!/usr/bin/env bash
# check_cli_docs.sh SOURCE_DIR WINERUN ZQPLATUTIL_EXE
# Every command that cli/*_commands.cpp registers is described by
# `zqplatutil --help` and in README.md's command-line section (a row of its
# table and an example); every command line of --help (with its subcommand,
# such as "reg get") has an example in docs/cli.md, which README.md links;
# --help exits with 0, an unknown
# command and a command given arguments it cannot take exit with 2 (usage).
set -euo pipefail
src=$1 winerun=$2 exe=$3
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

mapfile -t names < <(grep -hoE 'Registration k[A-Za-z0-9_]+ *\{\{L"[^"]+"' "$src"/cli/*.cpp | sed -E 's/.*L"([^"]+)"$/\1/' | sort)
((${#names[@]} >= 9)) || { echo "FAIL: only ${#names[@]} registered commands found" >&2; exit 1; }
echo "registered: ${names[*]}"

status=0
help=$("$winerun" "$exe" --help | tr -d '\r') || status=$?
((status == 0)) || fail "--help exited with $status"
grep -q '^Exit codes: 0 success, 1 the library reported an error, 2 bad command line' <<<"$help" \
  || fail "--help does not give the exit codes"

# The README's command-line section, up to the next section.
section=$(awk '/^## /{inside = ($0 == "## Command-line tool")} inside' "$src/README.md")
[ -n "$section" ] || { echo "FAIL: README.md has no section '## Command-line tool'" >&2; exit 1; }
for name in "${names[@]}"; do
  # A usage line of the command, indented by two spaces.
  grep -Eq "^  $name( |\$)" <<<"$help" || fail "--help has no usage line for '$name'"
  # The README's section has it in its table and runs it in an example.
  grep -Eq "^\| \`$name( |\`)" <<<"$section" || fail "README.md's command table has no row for '$name'"
  grep -Eq "zqplatutil(\.exe)? $name( |\$)" <<<"$section" || fail "README.md's command-line section shows no example of '$name'"
  # Five surplus arguments are more than any command takes.
  status=0
  out=$("$winerun" "$exe" "$name" x1 x2 x3 x4 x5 2>/dev/null </dev/null | tr -d '\r') || status=$?
  ((status == 2)) || fail "'$name' with surplus arguments exited with $status, not 2"
  [ -z "$out" ] || fail "'$name' with surplus arguments wrote to standard output: $out"
done

# docs/cli.md: an example of every usage line of --help.
page="$src/docs/cli.md"
if [ -f "$page" ]; then
  mapfile -t usages < <(sed -nE 's/^  ([a-z][a-z0-9-]*)( ([a-z][a-z-]*))?( .*)?$/\1 \3/p' <<<"$help" | sed 's/ *$//' | sort -u)
  ((${#usages[@]} >= ${#names[@]})) || fail "--help has only ${#usages[@]} usage lines"
  for usage in "${usages[@]}"; do
    grep -Eq "zqplatutil(\.exe)? $usage( |\$)" "$page" || fail "docs/cli.md shows no example of '$usage'"
  done
else
  fail "docs/cli.md is missing"
fi
grep -q '(docs/cli\.md)' "$src/README.md" || fail "README.md does not link docs/cli.md"

status=0
"$winerun" "$exe" no-such-command >/dev/null 2>&1 </dev/null || status=$?
((status == 2)) || fail "an unknown command exited with $status, not 2"

((failures == 0)) || exit 1
echo "${#names[@]} commands documented in --help, README.md and docs/cli.md (${#usages[@]} usage lines)"
