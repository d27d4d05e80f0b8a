#!/usr/bin/env bash
# Times "quolvane-cli scan" against find(1) on the same warm synthetic tree:
# 200,000 files in 20,000 directories. Usage: bench/bench_scan.sh [BUILD_DIR]
# (a Release build directory; made when missing).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${1:-$ROOT/build-bench-scan}"
if [ ! -x "$BUILD/quolvane-cli" ]; then
  cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DQV_TESTS=OFF -DQV_BENCH=OFF >/dev/null
  cmake --build "$BUILD" -j2 --target quolvane-cli >/dev/null
fi
CLI="$BUILD/quolvane-cli"

WORK="$(mktemp -d "${TMPDIR:-/tmp}/qv-bench-scan.XXXXXX")"
trap 'rm -rf "$WORK"' EXIT
TREE="$WORK/tree"

# 200 top directories, each with 99 subdirectories: 20,000 directories of
# ten files each, names of mixed case, sizes from 0 to a few hundred bytes.
python3 - "$TREE" <<'PY'
import os, sys
root = sys.argv[1]
payload = b"x" * 512
for t in range(200):
    top = os.path.join(root, "Top%03d" % t)
    dirs = [top] + [os.path.join(top, "sub_%02d" % s) for s in range(99)]
    for d in dirs:
        os.makedirs(d)
        for f in range(10):
            with open(os.path.join(d, "File%d_%s.dat" % (f, "ABCDEFGHIJ"[f])), "wb") as fh:
                fh.write(payload[: (f * 37) % 500])
PY
printf '' > "$WORK/empty.ini"

best() {  # best wall time in seconds of three runs of the command
  local best=""
  for _ in 1 2 3; do
    local s e t
    s=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    e=$(date +%s.%N)
    t=$(echo "$e - $s" | bc -l)
    if [ -z "$best" ] || (( $(echo "$t < $best" | bc -l) )); then best=$t; fi
  done
  echo "$best"
}

scan() {
  rm -f "$WORK/bench.QVD"
  "$CLI" --settings "$WORK/empty.ini" scan "$WORK/bench.QVD" "$TREE" --no-applications
}

find "$TREE" -printf '%s %T@ %m\n' >/dev/null  # warm the caches
scan >/dev/null 2>&1
FIND_T=$(best find "$TREE" -printf '%s %T@ %m\n')
SCAN_T=$(best scan)
ITEMS=$(find "$TREE" -mindepth 1 | wc -l)
printf 'items          %d\n' "$ITEMS"
printf 'find           %.3f s\n' "$FIND_T"
printf 'quolvane scan  %.3f s (catalog saved: %s bytes)\n' "$SCAN_T" "$(stat -c %s "$WORK/bench.QVD")"
printf 'ratio          %.2f\n' "$(echo "$SCAN_T / $FIND_T" | bc -l)"
printf 'items/s        %.0f\n' "$(echo "$ITEMS / $SCAN_T" | bc -l)"
