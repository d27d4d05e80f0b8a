#!/usr/bin/env bash
# Builds bench_answers and quolvane-cli in Release and runs it: bench/bench_answers.sh [items]
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="$ROOT/build-bench"
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DQV_BENCH=ON -DQV_TESTS=OFF >/dev/null
cmake --build "$BUILD" -j2 --target bench_answers quolvane-cli >&2
exec "$BUILD/bench_answers" "$@"
