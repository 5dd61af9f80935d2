#!/usr/bin/env bash
# The bench build (cmake/bench) configured and built with the MinGW toolchain
# files against a MATLAB root laid out as MATLAB installs itself (the MEX
# interface stand-in's headers and libraries in MATLAB's places), an SDK folder
# laid out as the maker's (the virtual cameras' header, import library and
# DLL) and an adaptor kit laid out as the toolbox installs it; and what it must
# refuse, with its message: no MATLAB, no SDK, a MATLAB of the other word size,
# and the toolbox's kit with a compiler whose C++ ABI is not Microsoft's.
# Usage: tests/windows/bench_build_check.sh BUILD32 BUILD64 OUT
#   BUILD32, BUILD64: the project's MinGW builds, holding the stand-in's
#   libraries and the virtual cameras (tools/windows-check.sh makes them).
set -euo pipefail
cd "$(dirname "$0")/../.."
build32=$1 build64=$2
mkdir -p "$3"
out=$(cd "$3" && pwd)
root=$PWD
failures=0
fail() { echo "bench-build-check: $*" >&2; failures=$((failures + 1)); }

# make_installation BITS BUILD: a MATLAB root, an SDK folder and a kit folder
# for BITS-bit Windows under $out/BITS, from the project's build BUILD.
make_installation() {
  local bits=$1 build=$2 at=$out/$1 lib
  rm -rf "$at"
  mkdir -p "$at/matlab/extern/include" "$at/matlab/bin/win$bits" "$at/sdk" \
    "$at/kit/include" "$at/kit/lib/win$bits/release"
  cp kit/mex/mex.h kit/mex/matrix.h "$at/matlab/extern/include/"
  # Where MATLAB keeps the import libraries for each compiler it supports.
  for lib in microsoft mingw64; do
    mkdir -p "$at/matlab/extern/lib/win$bits/$lib"
    cp "$build/liblibmex.dll.a" "$at/matlab/extern/lib/win$bits/$lib/libmex.lib"
    cp "$build/liblibmx.dll.a" "$at/matlab/extern/lib/win$bits/$lib/libmx.lib"
  done
  cp "$build/libmex.dll" "$build/libmx.dll" "$at/matlab/bin/win$bits/"
  cp sdk/korcam.h "$at/sdk/"
  cp "$build/libkorcamapi.dll.a" "$at/sdk/korcamapi.lib"
  cp "$build/korcamapi.dll" "$at/sdk/"
  cp kit/imaqkit/imaqkit.h "$at/kit/include/"
  cp "$build/kit/imaqkit/libkorimaqkit.dll.a" "$at/kit/lib/win$bits/release/imaqmex.lib"
}

# configure DIR BITS ARGS...: the bench build's configure step.
configure() {
  local dir=$1 bits=$2
  shift 2
  rm -rf "$dir"
  cmake -S cmake/bench -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/mingw$bits.cmake" \
    --no-warn-unused-cli "$@"
}

make_installation 32 "$build32"
make_installation 64 "$build64"

# Refusals: each configure fails and says why.
refusal() {
  local what=$1 expected=$2 bits=$3 log
  shift 3
  log=$out/refusal.log
  if configure "$out/refused" "$bits" "$@" >"$log" 2>&1; then
    fail "$what: configured, must be refused"
  elif ! tr -s ' \n' ' ' <"$log" | grep -qF "$expected"; then
    cat "$log"
    fail "$what: refused without saying \"$expected\""
  else
    echo "refused: $what"
  fi
}
empty=$out/empty
mkdir -p "$empty"
refusal "no MATLAB" "No 64-bit MATLAB found" 64 -DMatlab_ROOT_DIR="$empty" -DKORCAM_SDK_DIR="$out/64/sdk"
refusal "no SDK" "KORCAM_SDK_DIR must name the maker's SDK folder" 64 -DMatlab_ROOT_DIR="$out/64/matlab"
mkdir -p "$out/header-only"
cp sdk/korcam.h "$out/header-only/"
refusal "SDK folder without its library" "lacks the import library" 64 -DMatlab_ROOT_DIR="$out/64/matlab" \
  -DKORCAM_SDK_DIR="$out/header-only"
refusal "64-bit MATLAB, 32-bit compiler" "is 64-bit and the compiler makes 32-bit code" 32 \
  -DMatlab_ROOT_DIR="$out/64/matlab" -DKORCAM_SDK_DIR="$out/32/sdk"
refusal "toolbox kit with MinGW" "does not have the C++ ABI of the toolbox's imaqmex" 64 \
  -DMatlab_ROOT_DIR="$out/64/matlab" -DKORCAM_SDK_DIR="$out/64/sdk" -DKORCAM_IMAQ_KIT_DIR="$out/64/kit"

# The build itself, 32- and 64-bit: every file where README says it lands,
# each MEX file exporting mexFunction only and importing MATLAB's libraries.
for bits in 32 64; do
  dir=$out/build$bits
  ext=mexw$bits
  if ! configure "$dir" "$bits" -DMatlab_ROOT_DIR="$out/$bits/matlab" -DKORCAM_SDK_DIR="$out/$bits/sdk" \
    >"$out/configure$bits.log" 2>&1; then
    cat "$out/configure$bits.log"
    fail "$bits-bit bench build: configure failed"
    continue
  fi
  if ! cmake --build "$dir" -j "$(nproc)" >"$out/build$bits.log" 2>&1; then
    cat "$out/build$bits.log"
    fail "$bits-bit bench build: build failed"
    continue
  fi
  for file in KorDispatcher.$ext korvideoinput.$ext korviximaq.dll korimaqkit.dll korcamapi.dll KorDispatcher.m; do
    [ -f "$dir/$file" ] || fail "$bits-bit bench build: $file is not in the build folder"
  done
  for mex in KorDispatcher korvideoinput; do
    [ -f "$dir/$mex.$ext" ] || continue
    dump=$(x86_64-w64-mingw32-objdump -p "$dir/$mex.$ext")
    exports=$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" | sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p')
    imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump" | tr '\n' ' ')
    [ "$exports" = "mexFunction" ] || fail "$mex.$ext must export mexFunction only; it exports: $(echo $exports)"
    for needed in libmex.dll libmx.dll; do
      grep -qF "$needed" <<<"$imports" || fail "$mex.$ext does not import $needed: $imports"
    done
    if grep -qiF "imaqmex" <<<"$imports"; then fail "$mex.$ext imports imaqmex.dll"; fi
  done
  [ -e "$dir/libmex.dll" ] && fail "$bits-bit bench build: the MEX interface stand-in was built"
  echo "$bits-bit bench build: KorDispatcher.$ext, korvideoinput.$ext, korviximaq.dll, korimaqkit.dll, korcamapi.dll"
done

[ "$failures" -eq 0 ] || exit 1
echo "bench-build-check: passed"
