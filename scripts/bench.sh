#!/usr/bin/env bash
# Builds an optimised menu and prints the benchmark table for 1,000, 10,000 and 100,000 games
# (or the sizes given as arguments). BENCH_RUNS sets how many runs each median takes (default 5).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DJYT_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench -j"$(nproc)" --target juyoutai-bench
export QTWEBENGINE_DISABLE_SANDBOX=1
if [ "$#" -eq 0 ]; then set -- 1000 10000 100000; fi
exec build-bench/bin/juyoutai-bench "$@"
