#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a share of the given seconds and
# prints the executions each ran. Usage: fuzz.sh BUILD_DIR TOTAL_SECONDS
set -euo pipefail
dir="$1"; total="${2:-60}"
mapfile -t targets < <(find "$dir/fuzz" -maxdepth 1 -type f -name 'fuzz_*' -perm -u+x | sort)
[ ${#targets[@]} -gt 0 ] || { echo "fuzz: no targets"; exit 0; }
each=$(( total / ${#targets[@]} )); [ "$each" -ge 1 ] || each=1
for t in "${targets[@]}"; do
  name="$(basename "$t")"
  corpus="$dir/corpus/$name"; mkdir -p "$corpus"
  # Seeds kept with the sources (fuzz/corpus/<target>) start the search, when there are any.
  seeds="$(dirname "$0")/../fuzz/corpus/$name"; [ -d "$seeds" ] || seeds=""
  log="$dir/$name.log"
  if ! "$t" -max_total_time="$each" -print_final_stats=1 "$corpus" ${seeds:+"$seeds"} >"$log" 2>&1; then
    tail -n 60 "$log"; echo "fuzz: $name found a problem"; exit 1
  fi
  runs=$(grep -oE 'stat::number_of_executed_units: *[0-9]+' "$log" | grep -oE '[0-9]+$' || echo '?')
  echo "fuzz: $name ran $runs executions in ${each}s without a finding"
done
