#!/usr/bin/env bash
# Runs the libFuzzer targets of a fuzz build, one at a time.
#   run.sh BUILD check [SECONDS]  every input of the seed corpus, then SECONDS (default 5) of
#                                 fuzzing each from it (the test road)
#   run.sh BUILD fuzz  [SECONDS]  SECONDS (default 60) of fuzzing each; new inputs gather in
#                                 BUILD/fuzz-corpus/<target>, failing ones in BUILD/fuzz-findings
# FUZZ_TARGETS="render text" limits the run to those targets. A failure (a sanitizer report or a
# broken property) is shown, the other targets still run, and the script ends with status 1.
set -euo pipefail
build=${1:?build folder}
mode=${2:?check or fuzz}
here=$(cd "$(dirname "$0")" && pwd)
case $mode in
  check) seconds=${3:-5} ;;
  fuzz) seconds=${3:-60} ;;
  *) echo "mode: check or fuzz" >&2; exit 2 ;;
esac
export ASAN_OPTIONS=${ASAN_OPTIONS:-halt_on_error=1:abort_on_error=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
mkdir -p "$build/fuzz-findings"
status=0
passed=0
failed=0
for program in "$build"/fuzz/fuzz_*; do
  target=${program##*/fuzz_}
  if [[ -n ${FUZZ_TARGETS:-} && " $FUZZ_TARGETS " != *" $target "* ]]; then continue; fi
  seeds=$here/corpus/$target
  work=$build/fuzz-corpus/$target
  mkdir -p "$work"
  options=(-max_len=4096 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
           "-artifact_prefix=$build/fuzz-findings/$target-")
  echo "== $target"
  ok=1
  if [[ $mode == check ]]; then
    # Files named one by one: each runs once, nothing is written into the seed folder.
    "$program" "${options[@]}" "$seeds"/* > "$work.seeds.log" 2>&1 || {
      ok=0
      tail -n 40 "$work.seeds.log"
    }
    grep -c '^Executed ' "$work.seeds.log" | sed 's/^/seed inputs run: /' || true
  fi
  "$program" "${options[@]}" -max_total_time="$seconds" "$work" "$seeds" > "$work.log" 2>&1 || {
    ok=0
    tail -n 40 "$work.log"
  }
  grep -E '^stat::number_of_executed_units|^#[0-9]+ +DONE' "$work.log" | tail -n 2 || true
  if [[ $ok == 1 ]]; then passed=$((passed + 1)); else failed=$((failed + 1)); status=1; fi
done
echo "fuzz: $passed passed, $failed failed"
exit $status
