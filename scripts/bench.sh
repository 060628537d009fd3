#!/usr/bin/env bash
# Builds an optimised menu and prints the benchmark table for 1,000, 10,000 and 100,000 games
# (or the sizes given as arguments), then, without arguments, the web search's table.
# BENCH_RUNS sets how many runs each median takes (default 5).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DJYT_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench -j"$(nproc)" --target juyoutai-bench
export QTWEBENGINE_DISABLE_SANDBOX=1
if [ "$#" -eq 0 ]; then
  build-bench/bin/juyoutai-bench 1000 10000 100000
  # The web search's line serves its page on 127.0.0.1 (also as root); on an X server it also sees the paint
  export JUYOUTAI_ALLOW_ROOT_WEB=1
  if command -v xvfb-run >/dev/null 2>&1; then
    exec xvfb-run -a -s "-screen 0 1600x1000x24 -nolisten tcp" env QT_QPA_PLATFORM=xcb build-bench/bin/juyoutai-bench web
  fi
  exec build-bench/bin/juyoutai-bench web
fi
exec build-bench/bin/juyoutai-bench "$@"
