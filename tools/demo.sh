#!/usr/bin/env bash
# The demo of `make demo`: KorCamera in Octave on the attached (here virtual)
# cameras, then the acquisition adaptor through the korvix tool and through
# KorVideoInput.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build}" && pwd)
mkdir -p out
echo "== KorCamera in Octave (matlab/korcam_demo.m); pictures in out/"
octave-cli --norc --no-history --quiet --no-window-system --eval \
  "addpath('$build', '$PWD/matlab'); korcam_demo('$PWD/out');"

# The acquisition adaptor, loaded by korvix as the toolbox loads it: the
# catalogue, then a short acquisition of each camera it lists (camera 1
# with its strobe on); frames land in out/.
echo
echo "== The acquisition adaptor through korvix"
list=$("$build/korvix" list)
echo "$list"
cameras=$(octave-cli --norc --no-history --quiet --no-window-system --eval \
  "addpath('$build'); printf('%d', max(KorDispatcher(37), 0));")
if [ "$cameras" -lt 1 ]; then
  echo "No camera attached: nothing to acquire."
  exit 0
fi
for camera in $(seq 1 "$(( cameras < 3 ? cameras : 3 ))"); do
  echo
  strobe=()
  [ "$camera" = 1 ] && strobe=(--set Strobe=On)
  "$build/korvix" acquire --camera "$camera" --frames 60 --set Exposure=20 "${strobe[@]}" --out out
done

# The same adaptor through KorVideoInput, from Octave: a sequence from each
# camera, then a region and every third frame; frames land in out/.
echo
echo "== KorVideoInput in Octave (matlab/korvideoinput_demo.m); frames in out/"
octave-cli --norc --no-history --quiet --no-window-system --eval \
  "addpath('$build', '$PWD/matlab'); korvideoinput_demo('$PWD/out');"
