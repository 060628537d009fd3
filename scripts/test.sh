#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: once in a plain build and once
# with AddressSanitizer and UndefinedBehaviorSanitizer (the web pane runs in the plain build only).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

export QTWEBENGINE_DISABLE_SANDBOX=1
export JUYOUTAI_ALLOW_ROOT_WEB=1 # the web pane tests load real pages, also as root
jobs=$(nproc)

BUILD_TYPE=Debug BUILD_DIR=build-tests bash scripts/build.sh
ctest --test-dir build-tests --output-on-failure -j"$jobs"
bash scripts/check-package.sh build-tests # the install rules, the .deb and the menu started from it

if [ "${SKIP_SANITIZERS:-0}" != 1 ]; then
  BUILD_TYPE=Debug BUILD_DIR=build-asan bash scripts/build.sh -DJYT_SANITIZE=ON
  ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-asan --output-on-failure -j"$jobs" -E 'tst_WebPane|tst_WebHelper'
fi
