#!/bin/sh
# run_octave_test.sh BUILD_DIR TEST_NAME: runs tests/octave/TEST_NAME.m in a
# fresh Octave with the build's MEX files on the path and the error spy (and,
# in the sanitizer build, the sanitizer runtime) preloaded.
set -eu
build=$(cd "$1" && pwd)
name=$2
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
preload="$build/tests/libmexspy.so"
if [ -n "${KORCAM_PRELOAD_SANITIZER:-}" ]; then
  preload="$KORCAM_PRELOAD_SANITIZER $preload"
fi
LD_PRELOAD="$preload" exec octave-cli --norc --no-history --quiet --no-window-system --eval \
  "addpath('$build', '$build/tests', '$here', '$here/lib', '$root/matlab'); kt_main('$name');"
