#!/bin/sh
# make_demo_plan.sh SOURCE_DIR: what `make demo` would run, without running
# it: a build of the demo's own targets only (the gateway, the adaptor and
# korvix; no test programs), its output kept in a log, then the demo script.
set -eu
plan=$(make -n -s --no-print-directory -C "$1" demo BUILD=/demo-plan-build JOBS=2)
fail() {
  echo "make demo: $1" >&2
  echo "$plan" >&2
  exit 1
}
echo "$plan" | grep -q -- '--target KorDispatcher korviximaq korvix' || fail "does not build the demo's targets"
if echo "$plan" | grep 'cmake --build' | grep -v -q -- '--target'; then
  fail "builds every target"
fi
echo "$plan" | grep -q '>/demo-plan-build/demo-build.log 2>&1' || fail "shows the build's output"
echo "$plan" | grep -q 'tools/demo.sh /demo-plan-build' || fail "does not run the demo"
echo "make demo builds KorDispatcher, korviximaq and korvix quietly, then runs tools/demo.sh"
