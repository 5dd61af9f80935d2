#!/bin/sh
# make_demo_plan.sh SOURCE_DIR: what `make demo` would run, without running
# it: a build of the demo's own targets only (the gateway, the adaptor and
# korvix among them; no test program, spy or benchmark), its output kept in
# a log, then the demo script. korcamsim is built too: the guide's fault
# and unplug examples, tried after the demo, need it.
set -eu
plan=$(make -n -s --no-print-directory -C "$1" demo BUILD=/demo-plan-build JOBS=2)
fail() {
  echo "make demo: $1" >&2
  echo "$plan" >&2
  exit 1
}
builds=$(echo "$plan" | grep 'cmake --build') || fail "builds nothing"
if echo "$builds" | grep -v -q -- '--target'; then
  fail "builds every target"
fi
targets=" $(echo "$builds" | sed -e 's/.*--target//' -e 's/;.*//') "
for wanted in KorDispatcher korviximaq korvix korcamsim; do
  case "$targets" in *" $wanted "*) ;; *) fail "does not build $wanted" ;; esac
done
for target in $targets; do
  case "$target" in *test*|*spy*|*bench*) fail "builds $target, which the demo does not run" ;; esac
done
echo "$plan" | grep -q '>/demo-plan-build/demo-build.log 2>&1' || fail "shows the build's output"
echo "$plan" | grep -q 'tools/demo.sh /demo-plan-build' || fail "does not run the demo"
echo "make demo builds$targets quietly, then runs tools/demo.sh"
