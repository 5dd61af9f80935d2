#!/usr/bin/env bash
# The Windows builds, with Debian's MinGW-w64 cross compilers:
# - build-mingw32 (i686-w64-mingw32, the deliverables' platform): the SDK
#   header as C and C++, the virtual camera library, the kit stand-in, the
#   engine, the adaptor, the host tool, and KorDispatcher.mexw32 and
#   korvideoinput.mexw32 against the MEX interface stand-in (kit/mex),
#   warnings refused;
# - build-mingw64 (x86_64-w64-mingw32): KorDispatcher.mexw64 and
#   korvideoinput.mexw64, for 64-bit MATLAB, and the C++ tests that exercise
#   the real Win32 thread and message functions and the MEX files, run under
#   64-bit wine, headless, in a private wine prefix (build-mingw64/wineprefix);
# - the bench build (cmake/bench) against a MATLAB root, an SDK folder and an
#   adaptor kit laid out as installed, and its refusals
#   (tests/windows/bench_build_check.sh).
# Every MEX file must export mexFunction and nothing else (objdump -p), and
# no module of the project's own engine may import the toolbox's imaqmex.dll.
# Usage: tools/windows-check.sh        Needs: tools/install-deps.sh test
set -euo pipefail
cd "$(dirname "$0")/.."

# What to build and run. A trailing "?" marks a target that may not exist yet:
# its absence is reported and skipped. Without the mark, absence fails.
MINGW32_TARGETS="korcamapi korimaqkit korimaqengine korviximaq korvix KorDispatcher korvideoinput"
# The test programs are built for 32 bits too, so that they compile for the
# deliverables' platform; they run as 64-bit programs only (see the wine step).
MINGW64_TEST_TARGETS="win32_tests adaptor_tests adaptor_stress_tests dispatcher_windows_tests videoinput_windows_tests"

jobs=$(nproc)
build32=build-mingw32
build64=build-mingw64
failures=()
started=$SECONDS

step() { printf '\n== %s\n' "$*"; }
fail() { echo "windows-check: $*" >&2; failures+=("$*"); }

need_tool() {
  command -v "$1" >/dev/null 2>&1 || {
    echo "windows-check: $1 not found; install the test packages: tools/install-deps.sh test" >&2
    exit 1
  }
}
need_tool i686-w64-mingw32-gcc-posix
need_tool i686-w64-mingw32-g++-posix
need_tool x86_64-w64-mingw32-g++-posix
need_tool x86_64-w64-mingw32-objdump

# Debian's wine64 package puts the 64-bit loader outside PATH; the `wine`
# wrapper in PATH also wants the 32-bit one, which the tests do not need.
wine=$(command -v wine64 || true)
[ -n "$wine" ] || { [ -x /usr/lib/wine/wine64 ] && wine=/usr/lib/wine/wine64; } || true
[ -n "$wine" ] || wine=$(command -v wine || true)
wineserver=$(command -v wineserver || true)
[ -n "$wineserver" ] || { [ -x /usr/lib/wine/wineserver ] && wineserver=/usr/lib/wine/wineserver; } || true
if [ -z "$wine" ] || [ -z "$wineserver" ]; then
  echo "windows-check: wine64 not found; install the test packages: tools/install-deps.sh test" >&2
  exit 1
fi

# Prints the targets of $2 that the build folder $1 knows, and reports the others.
resolve_targets() {
  local dir=$1 known wanted name
  known=$(cmake --build "$dir" --target help | sed -n 's/^\.\.\. \([^ ]*\).*/\1/p')
  for wanted in $2; do
    name=${wanted%\?}
    if grep -qxF "$name" <<<"$known"; then
      echo "$name"
    elif [ "$name" != "$wanted" ]; then
      echo "windows-check: $name does not exist yet in $dir (not expected yet), skipped" >&2
    else
      echo "windows-check: target $name is missing from $dir" >&2
      echo "MISSING:$name"
    fi
  done
}

build_targets() {
  local dir=$1 list=$2 present=() target
  for target in $list; do
    case $target in
      MISSING:*) failures+=("target ${target#MISSING:} missing from $dir") ;;
      *) present+=("$target") ;;
    esac
  done
  [ ${#present[@]} -gt 0 ] || return 0
  BUILT=("${present[@]}")
  if ! cmake --build "$dir" -j "$jobs" --target "${present[@]}"; then
    fail "build of ${present[*]} failed in $dir"
    BUILT=()
  fi
}

# A MEX file exports mexFunction only: anything else the gateway defines
# would be reachable by name from every other module in the MATLAB process.
check_mex_exports() {
  local file=$1 exports
  if [ ! -f "$file" ]; then
    fail "$file was not built"
    return
  fi
  exports=$(x86_64-w64-mingw32-objdump -p "$file" |
    sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p')
  if [ "$exports" = "mexFunction" ]; then
    echo "$file exports mexFunction only"
  else
    fail "$file must export mexFunction only; it exports: $(echo $exports)"
  fi
}

# The project's engine and adaptor load the kit stand-in, korimaqkit.dll: a
# module importing imaqmex.dll would bind to the toolbox's library in a
# MATLAB process where the toolbox is loaded.
check_kit_imports() {
  local file=$1 imports
  [ -f "$file" ] || return 0
  imports=$(x86_64-w64-mingw32-objdump -p "$file" | sed -n 's/^[[:space:]]*DLL Name: //p')
  if grep -qix 'imaqmex.dll' <<<"$imports"; then
    fail "$file imports imaqmex.dll, the toolbox's kit library"
  fi
}

step "SDK header for 32-bit Windows, as C and as C++"
t=$SECONDS
i686-w64-mingw32-gcc-posix -x c -std=c11 -Wall -Wextra -Werror -fsyntax-only sdk/korcam.h ||
  fail "sdk/korcam.h does not compile as C for i686-w64-mingw32"
i686-w64-mingw32-g++-posix -x c++ -std=c++17 -Wall -Wextra -Werror -fsyntax-only sdk/korcam.h ||
  fail "sdk/korcam.h does not compile as C++ for i686-w64-mingw32"
echo "header: $((SECONDS - t)) s"

step "32-bit Windows build ($build32): $MINGW32_TARGETS $MINGW64_TEST_TARGETS"
t=$SECONDS
BUILT=()
if cmake -S . -B "$build32" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw32.cmake -DCMAKE_BUILD_TYPE=Release \
     -DKORCAM_WITH_OCTAVE=OFF --no-warn-unused-cli >/dev/null; then
  build_targets "$build32" "$(resolve_targets "$build32" "$MINGW32_TARGETS $MINGW64_TEST_TARGETS")"
else
  fail "configuring $build32 failed"
fi
for file in "$build32/KorDispatcher.mexw32" "$build32/korvideoinput.mexw32"; do check_mex_exports "$file"; done
for file in "$build32/korvideoinput.mexw32" "$build32/korviximaq.dll"; do check_kit_imports "$file"; done
echo "32-bit build: $((SECONDS - t)) s"

step "64-bit Windows test build ($build64): $MINGW64_TEST_TARGETS"
t=$SECONDS
BUILT=()
if cmake -S . -B "$build64" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw64.cmake -DCMAKE_BUILD_TYPE=Release \
     -DKORCAM_WITH_OCTAVE=OFF --no-warn-unused-cli >/dev/null; then
  build_targets "$build64" "$(resolve_targets "$build64" "$MINGW64_TEST_TARGETS")"
else
  fail "configuring $build64 failed"
fi
tests=("${BUILT[@]}")
for file in "$build64/KorDispatcher.mexw64" "$build64/korvideoinput.mexw64"; do check_mex_exports "$file"; done
for file in "$build64/korvideoinput.mexw64" "$build64/korviximaq.dll"; do check_kit_imports "$file"; done
echo "64-bit build: $((SECONDS - t)) s"

# Only the 64-bit programs run: these build machines' kernels execute no 32-bit
# code (no IA-32 emulation), so wine32 starts only under qemu-user, which took
# longer than ten minutes to create a wine prefix.
if [ ${#tests[@]} -gt 0 ]; then
  step "Tests under wine: ${tests[*]}"
  export WINEPREFIX=$PWD/$build64/wineprefix WINEARCH=win64 WINEDEBUG=-all
  # No Mono or Gecko installer prompts: nothing here needs them.
  export WINEDLLOVERRIDES="mscoree,mshtml="
  unset DISPLAY WAYLAND_DISPLAY
  trap '"$wineserver" -k >/dev/null 2>&1 || true' EXIT
  t=$SECONDS
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$wine" wineboot -i >"$build64/wineboot.log" 2>&1 || true
    "$wineserver" -w
    [ -f "$WINEPREFIX/system.reg" ] || fail "wineboot could not create $WINEPREFIX (see $build64/wineboot.log)"
    echo "new wine prefix: $((SECONDS - t)) s"
  fi
  # Every folder holding a DLL of the build, so that the tests find them.
  winepath=$(find "$PWD/$build64" -path "$WINEPREFIX" -prune -o -name '*.dll' -printf 'Z:%h;' | tr '/' '\\')
  export WINEPATH=$winepath
  for test in "${tests[@]}"; do
    exe=$(find "$PWD/$build64" -path "$WINEPREFIX" -prune -o -name "$test.exe" -print | head -n 1)
    if [ -z "$exe" ]; then
      fail "$test.exe not found in $build64"
      continue
    fi
    log=$build64/$test.log
    t=$SECONDS
    if (cd "$(dirname "$exe")" && timeout 900 "$wine" "./$test.exe") >"$log" 2>&1; then
      echo "$test: $(grep -E '^\[  PASSED  \]' "$log" | tail -n 1) ($((SECONDS - t)) s)"
    else
      cat "$log"
      fail "$test failed under wine ($((SECONDS - t)) s, log $log)"
    fi
  done
fi

step "Bench build (cmake/bench) against MATLAB, SDK and kit folders laid out as installed"
t=$SECONDS
if tests/windows/bench_build_check.sh "$build32" "$build64" build-bench-check; then
  echo "bench build: $((SECONDS - t)) s"
else
  fail "the bench build check failed ($((SECONDS - t)) s)"
fi

echo
echo "windows-check: $((SECONDS - started)) s in all"
if [ ${#failures[@]} -gt 0 ]; then
  printf 'windows-check FAILED:\n' >&2
  printf '  %s\n' "${failures[@]}" >&2
  exit 1
fi
echo "windows-check: passed"
