#!/usr/bin/env bash
# The window's batch against brevio-trim -o on the same 10,000 pages (2 to
# 20 KB), each into a folder of its own that the run before filled: hyperfine
# times both whole programs (the window's includes starting, listing the
# folder and filling the list), and the window's own figure is printed too
# (seconds from Trim to the closing box, longest wait of its thread).
# Usage: bench/window_vs_cli.sh [BUILD_DIR]   (default: $BREVIO_BUILD_DIR or build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-${BREVIO_BUILD_DIR:-$root/build}}
bin=$build/bin
for tool in brevio-trim brevio-bench-pages brevio-bench-window; do
  [ -x "$bin/$tool" ] || { echo "window_vs_cli: $bin/$tool is missing; build first" >&2; exit 1; }
done
count=${BREVIO_BENCH_PAGES:-10000}
work=$(mktemp -d /tmp/brevio-window-XXXXXX)
trap 'rm -rf "$work"' EXIT
"$bin/brevio-bench-pages" pages "$work/pages" "$count" 2000 20000
mkdir "$work/by-window" "$work/by-cli"
"$bin/brevio-bench-window" "$work/pages" "$work/by-window"
hyperfine -N --warmup 1 --runs "${BREVIO_BENCH_RUNS:-5}" \
  -n window "$bin/brevio-bench-window $work/pages $work/by-window" \
  -n brevio-trim "$bin/brevio-trim -q -r -o $work/by-cli $work/pages"
diff -r "$work/by-window" "$work/by-cli" >/dev/null && echo "window_vs_cli: identical output"
