#!/usr/bin/env bash
# What --protect all costs over the rule alone, in processor time (user +
# system, all threads) of whole runs of brevio-trim FILE OUT from the page
# cache, the two in turns within one run; prints each round, the medians and
# their ratio (target: --protect all <= 1.15 times the rule).
# Page files: generated pages, and real pages when BREVIO_BENCH_PAGES_DIR
# names a folder of them (its .htm, .html and .php files, for example
# /usr/share/doc, joined again and again up to the same size).
# Usage: bench/protect_cost.sh [BUILD_DIR]   (default: $BREVIO_BUILD_DIR or build)
# BREVIO_BENCH_BYTES (default 320 MiB), BREVIO_BENCH_RUNS (default 7) and
# BREVIO_BENCH_DIR (default /tmp) change the size, the rounds and where the
# files go. Processor times are read to 10 ms, so keep the files large.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-${BREVIO_BUILD_DIR:-$root/build}}
bin=$build/bin
for tool in brevio-trim brevio-bench-pages; do
  [ -x "$bin/$tool" ] || { echo "protect_cost: $bin/$tool is missing; build first" >&2; exit 1; }
done
[ -x /usr/bin/time ] || { echo "protect_cost: /usr/bin/time is missing (apt-get install time)" >&2; exit 1; }
bytes=${BREVIO_BENCH_BYTES:-335544320}
runs=${BREVIO_BENCH_RUNS:-7}
work=$(mktemp -d "${BREVIO_BENCH_DIR:-/tmp}/brevio-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

# Real pages are checked before any measuring, so that a folder without
# any fails at once.
pages=()
if [ -n "${BREVIO_BENCH_PAGES_DIR:-}" ]; then
  mapfile -d '' pages < <(find "$BREVIO_BENCH_PAGES_DIR" -type f \
    \( -name '*.htm' -o -name '*.html' -o -name '*.php' \) -print0 | sort -z)
  total=0
  if [ ${#pages[@]} -gt 0 ]; then
    total=$(stat -c %s "${pages[@]}" | awk '{ s += $1 } END { print s + 0 }')
  fi
  [ "$total" -gt 0 ] || { echo "protect_cost: no pages in $BREVIO_BENCH_PAGES_DIR" >&2; exit 1; }
fi

median() { printf '%s\n' "$@" | sort -n | awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }'; }

# Processor seconds of one run, its target removed and the disk synced first
# so that no write-back of the round before is charged to it.
cpu_of() {
  rm -f "$work/out.html"
  sync
  /usr/bin/time -f '%U %S' -o "$work/usage" "$bin/brevio-trim" -q "$@" "$work/out.html"
  awk '{ printf "%.2f", $1 + $2 }' "$work/usage"
}

measure() {  # name, page file
  local rule=() protect=()
  cat "$2" >/dev/null  # into the page cache
  echo "$1: $(stat -c %s "$2") bytes; load before: $(cut -d' ' -f1-3 /proc/loadavg)"
  for round in $(seq "$runs"); do
    rule+=("$(cpu_of "$2")")
    protect+=("$(cpu_of --protect all "$2")")
    echo "  round $round: rule ${rule[-1]}s  --protect all ${protect[-1]}s"
  done
  awk -v r="$(median "${rule[@]}")" -v p="$(median "${protect[@]}")" 'BEGIN {
    printf "  medians: rule %.2fs  --protect all %.2fs  ", r, p
    if (r > 0) printf "ratio %.2f (target <= 1.15)\n", p / r
    else print "(too short to time: use a larger BREVIO_BENCH_BYTES)" }'
  rm -f "$2" "$work/out.html"
}

"$bin/brevio-bench-pages" file "$work/generated.html" "$bytes"
measure "generated pages" "$work/generated.html"

if [ ${#pages[@]} -gt 0 ]; then
  while [ "$(stat -c %s "$work/real.html" 2>/dev/null || echo 0)" -lt "$bytes" ]; do
    cat "${pages[@]}" >>"$work/real.html"
  done
  measure "real pages from $BREVIO_BENCH_PAGES_DIR" "$work/real.html"
fi
