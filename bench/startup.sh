#!/usr/bin/env bash
# Start-up time of `zelctl --version` against `sox --version`, whole process from
# fork to exit, as a shell user sees it. Prints the median of many runs of each and
# their ratio.
# Usage: bench/startup.sh [path to zelctl (build/zelctl)] [runs (300)]
set -euo pipefail

zelctl=${1:-build/zelctl}
runs=${2:-300}
command -v sox >/dev/null || { echo "sox is not installed" >&2; exit 1; }
[ -x "$zelctl" ] || { echo "no zelctl at $zelctl" >&2; exit 1; }

# Median wall time in microseconds of `runs` runs of the command given.
median_us() {
  local times=() start end
  "$@" >/dev/null 2>&1 || { echo "$* failed" >&2; exit 1; }  # warm the page cache
  for ((i = 0; i < runs; i++)); do
    start=${EPOCHREALTIME/./}
    "$@" >/dev/null 2>&1
    end=${EPOCHREALTIME/./}
    times+=($((end - start)))
  done
  printf '%s\n' "${times[@]}" | sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'
}

# Alternate the two so that a busy moment of the machine hits both alike.
zel=() sox=()
for round in 1 2 3; do
  zel+=("$(median_us "$zelctl" --version)")
  sox+=("$(median_us sox --version)")
done
pick() { printf '%s\n' "$@" | sort -n | sed -n 2p; }
zel_us=$(pick "${zel[@]}")
sox_us=$(pick "${sox[@]}")
libs=$(ldd "$zelctl" | wc -l)
printf 'zelctl --version: %6.2f ms (median of %d runs x 3, %d shared libraries)\n' \
  "$(echo "$zel_us / 1000" | bc -l)" "$runs" "$libs"
printf 'sox --version:    %6.2f ms\n' "$(echo "$sox_us / 1000" | bc -l)"
printf 'ratio zelctl/sox: %6.2f\n' "$(echo "$zel_us / $sox_us" | bc -l)"
