#!/usr/bin/env bash
# bench/bench_thumbnails.sh [COUNT]: builds bench_thumbnails in Release and runs
# it on COUNT (default 200) generated 4000 x 3000 photos, kept in
# ${QV_BENCH_PHOTOS:-/tmp/quolvane-bench-photos} between runs.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${QV_BENCH_BUILD:-$ROOT/build-bench-release}"
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DQV_TESTS=OFF -DQV_BENCH=ON >/dev/null
cmake --build "$BUILD" -j2 --target bench_thumbnails >&2
exec "$BUILD/bench_thumbnails" "${QV_BENCH_PHOTOS:-/tmp/quolvane-bench-photos}" "${1:-200}"
