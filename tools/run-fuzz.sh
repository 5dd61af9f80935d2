#!/usr/bin/env bash
# The libFuzzer targets of tests/fuzz: built with clang under the address and
# undefined-behaviour sanitizers in their own build folder (build-fuzz).
#
#   tools/run-fuzz.sh check          build, then run every target over its
#                                    committed corpus and regression inputs,
#                                    and for a fixed number of new inputs from
#                                    a fixed seed (make test)
#   tools/run-fuzz.sh fuzz           build, then fuzz every target for
#                                    FUZZ_SECONDS (600) and merge what reached
#                                    new code into the committed corpus (make fuzz)
#   tools/run-fuzz.sh replay TARGET FILE...   run the inputs once, with FUZZ_TRACE=1
#
# FUZZ_TARGETS chooses targets (default: dispatcher korvideoinput korcamsim adaptor).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${FUZZ_BUILD:-build-fuzz}
jobs=${FUZZ_JOBS:-2}
read -r -a targets <<<"${FUZZ_TARGETS:-dispatcher korvideoinput korcamsim adaptor}"
corpus_root=tests/fuzz/corpus
# Inputs that once failed: replayed by every check, never merged away.
regressions_root=tests/fuzz/regressions
out=out/fuzz

# Every target: runs of the check in all, the corpus and the regression
# inputs first, then new inputs (about a minute and a half for the four
# together on 2 quiet processors, the build about as long again). An input of
# korvideoinput runs acquisitions with triggers, without end or waiting for a
# trigger, so fewer of them fit in that time.
declare -A check_runs=([dispatcher]=5000 [korvideoinput]=1000 [korcamsim]=30000 [adaptor]=400)
# A hang is an input that runs longer than this (seconds).
common=(-timeout=30 -max_len=1024 -len_control=0 -close_fd_mask=1 -print_final_stats=1)

build_targets() {
  if [ ! -f "$build/CMakeCache.txt" ]; then
    CC=clang CXX=clang++ cmake -S . -B "$build" -DKORCAM_WITH_FUZZ=ON -DKORCAM_WITH_OCTAVE=OFF \
      -DKORCAM_WITH_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  fi
  local names=()
  for t in "${targets[@]}"; do names+=("fuzz_$t"); done
  cmake --build "$build" -j "$jobs" --target "${names[@]}"
}

# All in one function, read whole before it runs: the script may be edited
# while a long run goes on.
main() {
  case "${1:-}" in
    check)
      build_targets
      for t in "${targets[@]}"; do
        scratch=$(mktemp -d)
        printf '\n-- fuzz_%s: the corpus, the regression inputs, then new inputs: %s runs\n' "$t" "${check_runs[$t]}"
        folders=("$corpus_root/$t")
        [ -d "$regressions_root/$t" ] && folders+=("$regressions_root/$t")
        # New inputs go to the scratch folder: the committed corpus stays as it is.
        if ! "$build/fuzz_$t" "${common[@]}" -seed=1 -runs="${check_runs[$t]}" -max_total_time=90 \
            -artifact_prefix="$scratch/" "$scratch" "${folders[@]}" >"$scratch/log" 2>&1; then
          tail -n 60 "$scratch/log"
          mkdir -p "$out"
          cp "$scratch"/crash-* "$scratch"/timeout-* "$scratch"/leak-* "$out/" 2>/dev/null || true
          echo "fuzz_$t failed; the failing input is in $out/ (replay: tools/run-fuzz.sh replay $t FILE)" >&2
          exit 1
        fi
        grep -E '^#[0-9]+ +DONE|stat::number_of_executed_units|stat::peak_rss_mb' "$scratch/log" || true
        rm -rf "$scratch"
      done
      ;;
    fuzz)
      build_targets
      seconds=${FUZZ_SECONDS:-600}
      mkdir -p "$out"
      for t in "${targets[@]}"; do
        found="$out/$t-new"
        merged="$out/$t-merged"
        rm -rf "$found" "$merged"
        mkdir -p "$found" "$merged" "$corpus_root/$t"
        printf '\n-- fuzz_%s for %s s\n' "$t" "$seconds"
        status=0
        "$build/fuzz_$t" "${common[@]}" -max_total_time="$seconds" -artifact_prefix="$out/$t-" \
          "$found" "$corpus_root/$t" >"$out/$t.log" 2>&1 || status=$?
        grep -E '^#[0-9]+ +(DONE|pulse)' "$out/$t.log" | tail -n 1 || true
        grep -E '^stat::' "$out/$t.log" || true
        # The smallest set of inputs that reaches every edge the old and the
        # new ones reached (edges, not hit counts: a small corpus).
        "$build/fuzz_$t" -merge=1 -use_counters=0 "${common[@]}" "$merged" "$corpus_root/$t" "$found" \
          >"$out/$t-merge.log" 2>&1
        rm -rf "${corpus_root:?}/$t"
        mv "$merged" "$corpus_root/$t"
        echo "corpus: $(find "$corpus_root/$t" -type f | wc -l) inputs"
        if [ "$status" -ne 0 ]; then
          tail -n 60 "$out/$t.log"
          echo "fuzz_$t failed; the failing input is in $out/ (replay: tools/run-fuzz.sh replay $t FILE)" >&2
          exit 1
        fi
      done
      ;;
    replay)
      [ $# -ge 3 ] || { echo "usage: $0 replay TARGET FILE..." >&2; exit 2; }
      t=$2
      shift 2
      FUZZ_TARGETS=$t
      targets=("$t")
      build_targets >/dev/null
      FUZZ_TRACE=1 "$build/fuzz_$t" -timeout=30 "$@"
      ;;
    *)
      echo "usage: $0 check | fuzz | replay TARGET FILE..." >&2
      exit 2
      ;;
  esac
}

main "$@"
exit
