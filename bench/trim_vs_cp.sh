#!/usr/bin/env bash
# Whole-file speed and memory of brevio-trim:
#  1. trimming a 1 GiB page file from the page cache against cp of the same
#     file and against a plain read/write copy loop with brevio-trim's block
#     size (the floor of any program that reads and writes the file), in
#     turns within one run; prints each round, then medians, spread and the
#     ratios of the medians (target: brevio-trim <= 1.3 times cp), and the
#     filter (brevio-trim < FILE > /dev/null) against cat (target <= 2.5);
#  2. peak resident memory (/usr/bin/time) trimming that file and a 1 GiB
#     file whose lines end in LF alone (one single "line" for the reader).
# Usage: bench/trim_vs_cp.sh [BUILD_DIR]   (default: $BREVIO_BUILD_DIR or build)
# BREVIO_BENCH_BYTES, BREVIO_BENCH_RUNS (default 5) and BREVIO_BENCH_DIR
# (default /tmp) change the size, the rounds and where the files go;
# BREVIO_BENCH_PAGE_FILE names a file of real pages to use in part 1 instead
# of generated ones (copied into BREVIO_BENCH_DIR first).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-${BREVIO_BUILD_DIR:-$root/build}}
bin=$build/bin
for tool in brevio-trim brevio-bench-pages; do
  [ -x "$bin/$tool" ] || { echo "trim_vs_cp: $bin/$tool is missing; build first" >&2; exit 1; }
done
[ -x /usr/bin/time ] || { echo "trim_vs_cp: /usr/bin/time is missing (apt-get install time)" >&2; exit 1; }
bytes=${BREVIO_BENCH_BYTES:-1073741824}
runs=${BREVIO_BENCH_RUNS:-5}
work=$(mktemp -d "${BREVIO_BENCH_DIR:-/tmp}/brevio-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

if [ -n "${BREVIO_BENCH_PAGE_FILE:-}" ]; then
  echo "Copying $BREVIO_BENCH_PAGE_FILE to $work"
  cp "$BREVIO_BENCH_PAGE_FILE" "$work/page.html"
  bytes=$(stat -c %s "$work/page.html")
else
  echo "Making a $bytes-byte page file (CR LF lines) in $work"
  "$bin/brevio-bench-pages" file "$work/page.html" "$bytes"
fi
cat "$work/page.html" >/dev/null  # into the page cache
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"

# Seconds one command takes, its target removed and the disk synced first so
# that no write-back of the round before is charged to it. The processor
# seconds it used (user + system, all threads) go to $work/cpu: on a machine
# shared with other work they say more than the wall time.
timed() {
  local target=$1
  shift
  rm -f "$target"
  sync
  local start=$EPOCHREALTIME
  /usr/bin/time -f '%U %S' -o "$work/usage" "$@"
  local stop=$EPOCHREALTIME
  awk '{ printf "%.2f", $1 + $2 }' "$work/usage" >"$work/cpu"
  awk -v a="$start" -v b="$stop" 'BEGIN { printf "%.3f", b - a }'
}
stats() {  # median, then min-max, of the arguments
  printf '%s\n' "$@" | sort -n | awk '{ t[NR] = $1 }
    END { printf "median %.3fs (%.3f-%.3f)", t[int((NR + 1) / 2)], t[1], t[NR] }'
}
median() { printf '%s\n' "$@" | sort -n | awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }'; }
# Seconds a program takes to read the page file on standard input and write
# to /dev/null (never a target to remove).
piped() {
  local start=$EPOCHREALTIME
  "$@" <"$work/page.html" >/dev/null
  local stop=$EPOCHREALTIME
  awk -v a="$start" -v b="$stop" 'BEGIN { printf "%.3f", b - a }'
}

cp_times=()
loop_times=()
trim_times=()
cp_cpu=()
loop_cpu=()
trim_cpu=()
cat_times=()
filter_times=()
for round in $(seq "$runs"); do
  cp_times+=("$(timed "$work/cp.html" cp "$work/page.html" "$work/cp.html")")
  cp_cpu+=("$(cat "$work/cpu")")
  rm -f "$work/cp.html"
  loop_times+=("$(timed "$work/loop.html" "$bin/brevio-bench-pages" copy "$work/page.html" "$work/loop.html")")
  loop_cpu+=("$(cat "$work/cpu")")
  rm -f "$work/loop.html"
  trim_times+=("$(timed "$work/trim.html" "$bin/brevio-trim" -q "$work/page.html" "$work/trim.html")")
  trim_cpu+=("$(cat "$work/cpu")")
  cat_times+=("$(piped cat)")
  filter_times+=("$(piped "$bin/brevio-trim")")
  echo "round $round: cp ${cp_times[-1]}s  copy loop ${loop_times[-1]}s  brevio-trim ${trim_times[-1]}s" \
       "(processor: ${cp_cpu[-1]}s ${loop_cpu[-1]}s ${trim_cpu[-1]}s)" \
       " cat ${cat_times[-1]}s  filter ${filter_times[-1]}s"
done
out_bytes=$(stat -c %s "$work/trim.html")
echo "cp          $(stats "${cp_times[@]}"), processor $(stats "${cp_cpu[@]}")"
echo "copy loop   $(stats "${loop_times[@]}"), processor $(stats "${loop_cpu[@]}")"
echo "brevio-trim $(stats "${trim_times[@]}"), processor $(stats "${trim_cpu[@]}")"
cp_median=$(median "${cp_times[@]}")
loop_median=$(median "${loop_times[@]}")
trim_median=$(median "${trim_times[@]}")
awk -v t="$trim_median" -v c="$cp_median" -v l="$loop_median" 'BEGIN {
  printf "ratios of medians: brevio-trim/cp %.2f (target <= 1.3)  brevio-trim/copy loop %.2f  copy loop/cp %.2f\n",
         t / c, t / l, l / c }'
awk -v t="$(median "${trim_cpu[@]}")" -v c="$(median "${cp_cpu[@]}")" -v l="$(median "${loop_cpu[@]}")" 'BEGIN {
  if (c > 0 && l > 0) printf "processor seconds: brevio-trim/cp %.2f  brevio-trim/copy loop %.2f\n", t / c, t / l }'
awk -v f="$(median "${filter_times[@]}")" -v c="$(median "${cat_times[@]}")" 'BEGIN {
  printf "filter: brevio-trim < FILE > /dev/null / cat FILE > /dev/null %.2f (target <= 2.5)\n", f / c }'
echo "trimmed to $out_bytes bytes; $(awk -v b="$bytes" -v t="$trim_median" 'BEGIN { printf "%.0f", b / t / 1e6 }') MB/s in"
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"

peak() {  # peak RSS in KiB of trimming $1
  rm -f "$work/out.html"
  sync
  /usr/bin/time -f '%M' -o "$work/rss" "$bin/brevio-trim" -q "$1" "$work/out.html"
  cat "$work/rss"
}
echo "peak RSS, CR LF file: $(peak "$work/page.html") KiB (target < 16384 KiB)"
rm -f "$work/page.html" "$work/trim.html" "$work/out.html"

echo "Making a $bytes-byte file with LF-only line ends"
"$bin/brevio-bench-pages" file "$work/lf.html" "$bytes" lf
cat "$work/lf.html" >/dev/null
echo "peak RSS, LF-only file: $(peak "$work/lf.html") KiB (target < 16384 KiB)"
