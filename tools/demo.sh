#!/usr/bin/env bash
# The demo of `make demo`: the gateway in Octave against the virtual cameras,
# then the acquisition adaptor through the korvix tool.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build}" && pwd)
mkdir -p out
octave-cli --norc --no-history --quiet --no-window-system --eval \
  "addpath('$build', '$PWD/matlab'); korcam_demo('$PWD/out');"

# The acquisition adaptor, loaded by korvix as the toolbox loads it: the
# catalogue, then a short acquisition of each camera (camera 1 changes its
# gain halfway, which stops and restarts the run); frames land in out/.
echo
"$build/korvix" list
for camera in 1 2 3; do
  echo
  midway=()
  [ "$camera" = 1 ] && midway=(--set-midway Gain=2)
  "$build/korvix" acquire --camera "$camera" --frames 60 --set Exposure=20 "${midway[@]}" --out out
done
