#!/usr/bin/env bash
# Builds bench_catalog in Release and runs it: bench/bench_catalog.sh [items] [repetitions]
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="$ROOT/build-release"
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DQV_BENCH=ON -DQV_TESTS=OFF >/dev/null
cmake --build "$BUILD" -j2 --target bench_catalog quolvane-cli >&2
exec "$BUILD/bench_catalog" "$@"
