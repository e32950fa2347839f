#!/usr/bin/env bash
# Builds the fuzz targets (preset "fuzz") and runs each on a copy of its seeds, so the
# committed corpus does not grow. Stops at the first finding and says where its input is.
#
#   scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]    default: 60 s, every target
#   scripts/fuzz.sh --no-build ...                      run what build/fuzz holds
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$here"
source scripts/env.sh

build=1
if [ "${1:-}" = "--no-build" ]; then build=0; shift; fi
seconds="${1:-60}"
[ $# -gt 0 ] && shift
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(campaign locale placeholders base62 registry_path url zip redirect)

mkdir -p build
if [ "$build" = 1 ]; then
  { cmake --preset fuzz && cmake --build --preset fuzz; } >build/fuzz.log 2>&1 ||
    { tail -n 60 build/fuzz.log; echo "build fuzz failed"; exit 1; }
fi

bin=build/fuzz/fuzz
findings="$here/build/fuzz/findings"
mkdir -p "$findings"
for target in "${targets[@]}"; do
  [ -x "$bin/${target}_fuzz" ] || { echo "no fuzz target $target"; exit 1; }
  corpus=$(mktemp -d)
  for seeds in "fuzz/corpus/$target" "$bin/seeds/$target"; do
    [ -d "$seeds" ] && find "$seeds" -maxdepth 1 -type f ! -name '.*' -exec cp {} "$corpus/" \;
  done
  log="$findings/$target.log"
  dict=()
  [ -f "fuzz/$target.dict" ] && dict=(-dict="fuzz/$target.dict")
  # -timeout: one input that runs for seconds is a hang; -rss_limit_mb: one that eats memory.
  "$bin/${target}_fuzz" "$corpus" "${dict[@]}" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$findings/$target-" -print_final_stats=1 >"$log" 2>&1
  rc=$?
  rm -rf "$corpus"
  if [ $rc -ne 0 ]; then
    tail -n 40 "$log"
    input=$(grep -o "Test unit written to .*" "$log" | tail -n 1 | sed 's/Test unit written to //')
    echo "FINDING in $target: input ${input:-(none written)}, log $log"
    echo "replay: $bin/${target}_fuzz ${input:-INPUT}"
    exit 1
  fi
  printf '%-14s %s s, %s runs, coverage %s\n' "$target" "$seconds" \
    "$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$')" \
    "$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | grep -o '[0-9]*')"
done
