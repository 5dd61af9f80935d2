#!/usr/bin/env bash
# Runs the benchmarks of a build configured with -DKORCAM_WITH_BENCH=ON and
# prints their summary: each pixel path's throughput as a ratio to memcpy of
# the same output bytes, measured in the same run (the `gateway` column is
# what KorDispatcher runs, on the `workers` threads it picks for the size),
# and what starting a split's threads costs; then, when the MEX files
# were built, the Octave snapshot benchmark.
# Usage: tools/run-bench.sh BUILD_DIR [Google Benchmark options...]
# Full results land in BUILD_DIR/bench-results/.
set -euo pipefail
build=${1:?usage: $0 BUILD_DIR [benchmark options...]}
shift
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$build" && pwd)
bin="$build/bench/pixels_bench"
if [ ! -x "$bin" ]; then
  echo "$bin is missing: configure $build with -DKORCAM_WITH_BENCH=ON and build it" >&2
  exit 1
fi
results="$build/bench-results"
mkdir -p "$results"
rm -f "$results/videoinput.txt"  # the ratio summary at the end reads this run's only

# Other work on the machine skews every figure, memcpy's included.
echo "Load average before the run: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) processors"
"$bin" --benchmark_min_time=0.2 --benchmark_repetitions=3 --benchmark_enable_random_interleaving=true \
  --benchmark_color=false \
  --benchmark_out="$results/pixels.json" --benchmark_out_format=json "$@" >"$results/pixels.txt"
# The table of every run is in pixels.txt; the summary closes it.
sed -n '/^Kernel in use/p; /^Throughput as a ratio/,$p' "$results/pixels.txt"
echo
echo "Starting and joining the threads of an empty split (median, wall and CPU time):"
# A --benchmark_filter may leave these rows out; the run goes on without them.
overhead=$(grep -E '^splitOverhead/[0-9]+/real_time_median' "$results/pixels.txt" || true)
if [ -n "$overhead" ]; then
  awk '{ printf "  %s workers: %s %s wall, %s %s CPU\n", substr($1, 15, index(substr($1, 15), "/") - 1), $2, $3, $4, $5 }' \
    <<<"$overhead"
else
  echo "  not measured in this run (the benchmark filter left out splitOverhead)"
fi

# The virtual cameras' own costs, which the snapshot figures below include.
if [ -x "$build/bench/sim_bench" ]; then
  echo
  echo "Virtual cameras (frames and conversion):"
  "$build/bench/sim_bench" --benchmark_min_time=0.2 --benchmark_color=false 2>/dev/null | tee "$results/sim.txt" |
    sed -n '/^Benchmark/,$p'
fi

if [ -f "$build/KorDispatcher.mex" ] && [ -f "$build/korcamsim.mex" ] && command -v octave-cli >/dev/null; then
  echo
  OCTAVE_HISTFILE=/dev/null octave-cli --norc --no-history --quiet --no-window-system --eval \
    "addpath('$build', '$root/bench/octave'); snapshot_bench();" | tee "$results/snapshot.txt"
else
  echo
  echo "Octave snapshot benchmark not run: $build has no KorDispatcher.mex and korcamsim.mex (or no octave-cli)"
fi

# KorVideoInput: getdata of 100 frames and frames per CPU second against korvix.
if [ -x "$build/bench/videoinput/getdata_bench" ]; then
  echo
  "$build/bench/videoinput/getdata_bench" --benchmark_min_time=1 --benchmark_repetitions=3 \
    --benchmark_report_aggregates_only=true --benchmark_color=false | tee "$results/getdata.txt"
fi
if [ -f "$build/korvideoinput.mex" ] && [ -x "$build/korvix" ] && command -v octave-cli >/dev/null; then
  echo
  OCTAVE_HISTFILE=/dev/null octave-cli --norc --no-history --quiet --no-window-system --eval \
    "addpath('$build', '$root/matlab', '$root/bench/octave'); videoinput_bench();" | tee "$results/videoinput.txt"
fi

# The disk log's TIFF writer, in the results folder (its files removed):
# throughput against fwrite first, then a page's cost over 2000 frames, whose
# gigabytes the system is still writing back for a while after each run.
if [ -x "$build/bench/videoinput/tiff_bench" ]; then
  echo
  for part in 'WriterUncompressed|FwriteSameBytes' 'CostFirstAndLast'; do
    (cd "$results" && "$build/bench/videoinput/tiff_bench" --benchmark_filter="$part" --benchmark_repetitions=3 \
      --benchmark_enable_random_interleaving=true --benchmark_color=false)
  done >"$results/tiff.txt"
  grep -E '^(TIFF|fwrite) ' "$results/tiff.txt" || echo "tiff_bench: no summary line in this run"
fi

# Every named ratio of the run together, with the load it ran under.
if [ -f "$results/videoinput.txt" ]; then
  echo
  echo "Ratios of this run (load average now: $(cut -d' ' -f1-3 /proc/loadavg)):"
  grep -E '^[a-z_]+: ' "$results/videoinput.txt" | sed 's/^/  /' || true
fi
