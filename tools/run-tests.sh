#!/usr/bin/env bash
# Every test of the project, as `make test` runs it (CI calls nothing else):
# the plain build, the address/undefined-behaviour sanitizer build (C++ and
# Octave-hosted tests), the thread sanitizer build (threaded tests), the
# fuzz targets over their corpus, and the Windows builds under wine; last,
# that every C++ file is formatted.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

step() { printf '\n== %s\n' "$*"; }

step "Plain build and every test"
cmake -S . -B build >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

step "Address and undefined-behaviour sanitizers"
cmake -S . -B build-asan -DKORCAM_SANITIZER=address >/dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build-asan --output-on-failure -j "$jobs" -LE cross

step "Thread sanitizer (threaded tests)"
cmake -S . -B build-tsan -DKORCAM_SANITIZER=thread -DKORCAM_WITH_OCTAVE=OFF >/dev/null
cmake --build build-tsan -j "$jobs"
ctest --test-dir build-tsan --output-on-failure -j "$jobs" -L threads

step "Fuzz targets (libFuzzer): the committed corpus and a fixed run of new inputs"
tools/run-fuzz.sh check

step "Windows builds (MinGW) and their tests under wine"
tools/windows-check.sh

step "Formatting (.clang-format)"
tools/check-format.sh
