#!/usr/bin/env bash
# Mutation check: each line of LIST is a one-line fault; the fault goes into a
# scratch copy of the tree (never the working tree), which is built and then
# tested with the tests of the family the faulty file belongs to. A fault that
# no test notices is a test that is missing.
#
#   scripts/mutants.sh [LIST] [--sample N] [--seed S]
#
# LIST (default tests/mutants.txt): one mutant a line, tab-separated:
#   id <TAB> path <TAB> old text <TAB> new text <TAB> what a user would notice
# Blank lines and lines starting with # are skipped. The old text must occur
# exactly once in the file; the change is literal.
# The scratch copy and its build live in $ZQ_MUTANTS_DIR (default
# build/mutants); they are kept between runs, so later runs build incrementally.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

usage() { echo "usage: scripts/mutants.sh [LIST] [--sample N] [--seed S]" >&2; exit 2; }
list=$top/tests/mutants.txt
sample=0
seed=1
while (($#)); do
  case $1 in
    --sample) [ $# -ge 2 ] || usage; sample=$2; shift 2 ;;
    --seed) [ $# -ge 2 ] || usage; seed=$2; shift 2 ;;
    -h|--help) usage ;;
    -*) echo "unknown option $1" >&2; usage ;;
    *) list=$(realpath "$1"); shift ;;
  esac
done
[[ $sample =~ ^[0-9]+$ ]] || usage
[ -f "$list" ] || { echo "no mutant list at $list" >&2; exit 2; }

"$top/scripts/setup.sh"
work=${ZQ_MUTANTS_DIR:-$top/build/mutants}
src=$work/src
bld=$work/build
mkdir -p "$src" "$bld"
exec 9>"$work/lock"
flock -n 9 || { echo "another mutation check is using $work" >&2; exit 2; }
started=$SECONDS

# The scratch copy: the working tree's files (tracked and new), copied only
# where they differ, so that the scratch build stays incremental.
sync_tree() {
  local manifest=$work/manifest new=$work/manifest.new f
  (cd "$top" && git ls-files -co --exclude-standard -z) | tr '\0' '\n' | sort >"$new"
  while IFS= read -r f; do
    [ -f "$top/$f" ] || continue
    if ! cmp -s "$top/$f" "$src/$f"; then
      mkdir -p "$(dirname "$src/$f")"
      cp "$top/$f" "$src/$f"
    fi
  done <"$new"
  if [ -f "$manifest" ]; then
    comm -23 "$manifest" "$new" | while IFS= read -r f; do rm -f "$src/$f"; done
  fi
  mv "$new" "$manifest"
}
sync_tree

export WINEPREFIX=$bld/wineprefix WINEARCH=win64 WINEDEBUG=-all
if [ ! -f "$bld/build.ninja" ]; then
  echo "Configuring the scratch build in $bld (the first run builds everything)"
  cmake -S "$src" -B "$bld" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-w64-x86_64-posix.cmake" \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -u >/dev/null 2>&1 || true
  wineserver -w
fi

source "$top/scripts/testenv.sh"
start_test_env 500
current=""
restore() {
  if [ -n "$current" ]; then cp "$work/original" "$src/$current"; current=""; fi
}
cleanup() {
  restore
  stop_test_env
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# The tests that guard a file and the targets they need, "targets|ctest
# arguments": its family's tests, or every test for a shared file.
selection_for() {
  case $1 in
    registry/*|include/zqregistry.h) echo "registry_tests|-L ^registry$" ;;
    secstr/*|mfc/*|include/zqsecstr.h|include/zqsecalloc.h)
      echo "secstr_tests secstr_dll_tests dialog_tests secalloc_tests zqplatutil|-L ^(secstr|secstr_dll|dialog|secalloc)$" ;;
    net/*|include/zqnet.h) echo "net_tests net_double_tests zqplatutil|-L ^net$" ;;
    sys/*|include/zqsys.h) echo "sys_tests|-L ^sys$" ;;
    toast/*|winrt/*|include/zqtoast.h) echo "toast_tests zqplatutil vx_winrt_demo|-L ^toast$" ;;
    msi/*|include/zqmsi.h) echo "msi_tests msi_module_tests msi_package_tests zqplatutil|-L ^msi$" ;;
    com/*|include/zqcom.h) echo "com_tests|-L ^com$" ;;
    vxlog/*) echo "vxlog_tests|-L ^vxlog$" ;;
    include/zqplatutil.hpp) echo "cpplayer_tests|-L ^cpplayer$" ;;
    cli/*) echo "zqplatutil dialog_tests vx_winrt_demo zq_msi_package|-R Cli|PromptCommand" ;;
    *) echo "all|" ;;
  esac
}
build() {  # build TARGETS... > log
  cmake --build "$bld" --target "$@" -- --quiet
}
run_tests() {  # run_tests CTEST-ARGS... > log
  (cd "$bld" && ctest "$@" -j2 --timeout 60 --no-tests=error --repeat until-pass:2)
}

mapfile -t mutants < <(grep -v -e '^[[:space:]]*$' -e '^#' "$list")
if ((sample > 0 && sample < ${#mutants[@]})); then
  mapfile -t mutants < <(printf '%s\n' "${mutants[@]}" |
                         perl -MList::Util=shuffle -e 'srand($ARGV[0]); my @m = shuffle(<STDIN>); print @m[0 .. $ARGV[1] - 1]' "$seed" "$sample")
fi

killed=0 survived=0 unapplied=0
declare -A baseline
for line in "${mutants[@]}"; do
  # Fields split on each tab (a new text may be empty, which deletes the old).
  IFS=$'\x1f' read -r id path old new note < <(printf '%s\n' "$line" | tr '\t' '\037')
  file=$src/$path
  tabs=${line//[^$'\t']/}
  if ((${#tabs} < 3)) || [ -z "$old" ] || [ ! -f "$file" ]; then
    echo "NOT APPLIED $id (no such file or malformed line)"; unapplied=$((unapplied + 1)); continue
  fi
  count=$(OLD=$old perl -0777 -ne 'print scalar(() = /\Q$ENV{OLD}\E/g)' "$file")
  if [ "$count" != 1 ]; then
    echo "NOT APPLIED $id (old text found $count times in $path)"; unapplied=$((unapplied + 1)); continue
  fi
  IFS='|' read -r targets tests <<<"$(selection_for "$path")"
  read -ra targets <<<"$targets"
  read -ra tests <<<"$tests"
  # Once per selection: the unchanged tree builds and passes those tests, so
  # a failure below is the mutant's doing.
  key="${targets[*]}|${tests[*]}"
  if [ -z "${baseline[$key]:-}" ]; then
    if ! build "${targets[@]}" >"$work/baseline.log" 2>&1 || ! run_tests "${tests[@]}" >>"$work/baseline.log" 2>&1; then
      echo "the unchanged tree fails ${tests[*]:-every test}; see $work/baseline.log" >&2
      exit 2
    fi
    baseline[$key]=ok
  fi
  cp "$file" "$work/original"
  current=$path
  OLD=$old NEW=$new perl -0777 -i -pe 's/\Q$ENV{OLD}\E/$ENV{NEW}/' "$file"
  if ! build "${targets[@]}" >"$work/$id.build.log" 2>&1; then
    echo "NOT APPLIED $id (does not build; see $work/$id.build.log)"; unapplied=$((unapplied + 1))
    restore; continue
  fi
  if run_tests "${tests[@]}" --stop-on-failure >"$work/$id.test.log" 2>&1; then
    echo "SURVIVED $id ($path: ${note:-})"; survived=$((survived + 1))
  else
    echo "killed $id"; killed=$((killed + 1)); rm -f "$work/$id.test.log"
  fi
  restore
  rm -f "$work/$id.build.log"
done

elapsed=$((SECONDS - started))
echo "time: $((elapsed / 60)) min $((elapsed % 60)) s"
echo "mutants: $killed killed, $survived survived, $unapplied not applied"
((survived == 0 && unapplied == 0))
