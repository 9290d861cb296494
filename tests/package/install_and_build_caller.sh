#!/usr/bin/env bash
# install_and_build_caller.sh SOURCE_DIR BUILD_DIR WORK_DIR
# A clean install of the build into WORK_DIR/prefix; every installed header
# compiles on its own; examples/caller configures and builds against the
# package with the same cross toolchain and runs under Wine.
set -euo pipefail
src=$1 build=$2 work=$3
prefix=$work/prefix
caller_build=$work/caller
fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$work"
mkdir -p "$work"
cmake --install "$build" --prefix "$prefix" >"$work/install.log" || { cat "$work/install.log"; fail "install"; }

# The layout callers rely on.
for file in bin/zqplatutilu.dll bin/vxlogu64.dll bin/vx.cext.dll bin/vx.platutil.winrt.dll bin/zqplatutil.exe \
            lib/libzqplatutilu.dll.a lib/libvxlogu64.dll.a lib/libzq_mfc.a lib/zqplatutilu.lib lib/zqplatutilu.def \
            include/zqexport.h include/zqregistry.h include/zqsecstr.h include/zqsecuredialog.h \
            include/zqtoast.h include/zqsecalloc.h include/zqcom.h \
            include/zqmfc.h include/zqatlstr.h include/zqafxwin.h include/vxlog.h include/vxcext.h \
            lib/cmake/zqplatutil/zqplatutilConfig.cmake lib/cmake/zqplatutil/zqplatutilConfigVersion.cmake \
            lib/cmake/zqplatutil/zqplatutilTargets.cmake; do
  [ -f "$prefix/$file" ] || fail "not installed: $file"
done
# Every module of the build that is not a test program, test double or test bridge.
for dll in "$build"/bin/*.dll; do
  [ -f "$prefix/bin/$(basename "$dll")" ] || fail "not installed: bin/$(basename "$dll")"
done
# Nothing of the tests.
if find "$prefix" -iname '*test*' -o -iname 'secur32.dll' -o -iname 'sensapi.dll' | grep .; then
  fail "test files installed"
fi
# Nothing in the package points back into the source or build tree.
if grep -rl -e "$src" -e "$build" "$prefix/lib/cmake"; then
  fail "the package names the source or build tree"
fi

# Each installed header compiles on its own with what is installed (C++17);
# those that declare C exports compile as C too.
cxx=x86_64-w64-mingw32-g++-posix
cc=x86_64-w64-mingw32-gcc-posix
for header in "$prefix"/include/*.h "$prefix"/include/*.hpp; do
  [ -f "$header" ] || continue
  name=$(basename "$header")
  echo "#include <$name>" | $cxx -std=c++17 -DUNICODE -D_UNICODE -Wall -Wextra -Werror -fsyntax-only \
      -I"$prefix/include" -x c++ - \
    || fail "$name does not compile on its own"
  if grep -q -e ZQPLATUTIL_C_API -e VXLOG_API "$header"; then
    echo "#include <$name>" | $cc -std=c11 -DUNICODE -D_UNICODE -Wall -Wextra -Werror -fsyntax-only \
        -I"$prefix/include" -x c - \
      || fail "$name does not compile as C"
  fi
done

# A C program linked with zqplatutilu.lib alone imports the C exports by name
# from zqplatutilu.dll and runs.
mkdir -p "$work/c"
$cc -std=c11 -DUNICODE -D_UNICODE -Wall -Wextra -Werror -static -I"$prefix/include" \
    "$src/tests/package/c_caller.c" "$prefix/lib/zqplatutilu.lib" -o "$work/c/c_caller.exe" \
  || fail "the C program does not link with zqplatutilu.lib"
c_imports=$(x86_64-w64-mingw32-objdump -p "$work/c/c_caller.exe")
grep -q 'DLL Name: zqplatutilu.dll' <<<"$c_imports" || fail "the C program does not import zqplatutilu.dll"
cp "$prefix"/bin/*.dll "$work/c/"
c_output=$(cd "$work/c" && "$build/winerun" ./c_caller.exe | tr -d '\r') || fail "c_caller exited with $?"
echo "$c_output"
[ "$c_output" = "zqRegReadValueEx: 0 type 1
zqSysCompareISO8601: -1
zqSysGetUserSIDA: 1332" ] || fail "unexpected output of c_caller"

# The caller project, built and run with the commands of its README.md (its
# "Build and run" block) from the source root, into this work folder.
block=$(awk '/^## /{inside = ($0 == "## Build and run")} inside' "$src/examples/caller/README.md" \
        | awk '/^```sh$/{on = 1; next} /^```$/{if (on) exit} on')
grep -q 'cmake --build' <<<"$block" || fail "examples/caller/README.md has no build commands"
# The README's own folders become the test's.
commands=$(grep -vE '^(prefix|out)=' <<<"$block" | sed 's|^build/winerun|"$build/winerun"|')
status=0
(cd "$src" && prefix=$prefix out=$caller_build build=$build bash -euo pipefail -c "$commands") >"$work/caller.log" 2>&1 \
  || status=$?
((status == 0)) || { cat "$work/caller.log"; fail "the caller's README commands failed with $status"; }
if grep -i "warning" "$work/caller.log"; then fail "the caller builds with warnings"; fi
for dll in zqplatutilu.dll vxlogu64.dll vx.cext.dll vx.platutil.winrt.dll; do
  [ -f "$caller_build/$dll" ] || fail "$dll not copied beside the caller"
done
output=$(tr -d '\r' <"$work/caller.log")
echo "$output" | grep -v '^\[' || true
expect() { grep -Eq "$1" <<<"$output" || fail "no line matching '$1'"; }
expect '^CurrentVersion: [0-9]+\.[0-9]+$'
expect '^user: [^\\]+\\[^\\]+$'
expect '^SID: S-1-5-21(-[0-9]+)+$'
expect '^2020-06-01T12:00:00\+02:00 = file time 132354792000000000 = 2020-06-01T10:00:00Z$'
expect '^secret length: 21$'
# Wine reports Windows 7 unless told otherwise.
expect '^toasts: not supported \(before Windows 8\)$'
expect '^C\+\+ layer: CurrentVersion [0-9]+\.[0-9]+, the two times compare as 0$'
