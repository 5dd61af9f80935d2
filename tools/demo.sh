#!/usr/bin/env bash
# The demo of `make demo`: the gateway in Octave against the virtual cameras,
# then the acquisition adaptor through the korvix tool.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build}" && pwd)
mkdir -p out
octave-cli --norc --no-history --quiet --no-window-system --eval \
  "addpath('$build', '$PWD/matlab'); korcam_demo('$PWD/out');"
