#!/usr/bin/env bash
# Builds bench_search in Release and runs it: bench/bench_search.sh [items] [repetitions]
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="$ROOT/build-doc-release"
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DQV_BENCH=ON -DQV_TESTS=OFF >/dev/null
cmake --build "$BUILD" -j2 --target bench_search >&2
exec "$BUILD/bench_search" "$@"
