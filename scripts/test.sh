#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: once in a plain build and once
# with AddressSanitizer and UndefinedBehaviorSanitizer (the web pane runs in the plain build only).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

# Every tracked C++ file keeps the project's format; checked first, so a difference fails in seconds.
mapfile -t sources < <(git ls-files '*.cpp' '*.h')
if ! clang-format --dry-run --Werror "${sources[@]}" >/dev/null 2>&1; then
  echo "以下文件与 .clang-format 不一致，请用 clang-format -i 格式化：" >&2
  clang-format --dry-run --Werror "${sources[@]}" 2>&1 | sed -n 's/^\(.*\):[0-9]*:[0-9]*: error: .*/  \1/p' | sort -u >&2
  exit 1
fi

export QTWEBENGINE_DISABLE_SANDBOX=1
export JUYOUTAI_ALLOW_ROOT_WEB=1 # the web pane tests load real pages, also as root
jobs=$(nproc)

# The café-mode tests and the benchmark use a private PostgreSQL on 127.0.0.1, stopped even when a test fails.
export JYT_PG_DIR="${JYT_PG_DIR:-$(mktemp -d /tmp/juyoutai-pg.XXXXXX)}"
trap 'bash scripts/pg-test-server.sh stop' EXIT
bash scripts/pg-test-server.sh start >/dev/null
eval "$(bash scripts/pg-test-server.sh env)"
export JYT_PG_REQUIRED=1 # without a server the café tests fail instead of skipping

BUILD_TYPE=Debug BUILD_DIR=build-tests bash scripts/build.sh
ctest --test-dir build-tests --output-on-failure -j"$jobs"
bash scripts/check-package.sh build-tests # the install rules, the .deb and the menu started from it

if [ "${SKIP_SANITIZERS:-0}" != 1 ]; then
  BUILD_TYPE=Debug BUILD_DIR=build-asan bash scripts/build.sh -DJYT_SANITIZE=ON
  ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-asan --output-on-failure -j"$jobs" -E 'tst_WebPane|tst_WebHelper'
fi
