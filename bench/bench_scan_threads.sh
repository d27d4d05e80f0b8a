#!/usr/bin/env bash
# Builds bench_scan_threads in Release and runs it: bench/bench_scan_threads.sh [TREE] [THREADS] [ROUNDS]
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="$ROOT/build-bench"
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DQV_BENCH=ON -DQV_TESTS=OFF >/dev/null
cmake --build "$BUILD" -j2 --target bench_scan_threads >&2
exec "$BUILD/bench_scan_threads" "$@"
