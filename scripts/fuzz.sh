#!/usr/bin/env bash
# Builds every libFuzzer target (fuzz_*) with clang and runs each on a copy of its seed corpus
# tests/data/fuzz/<name without fuzz_>/ for FUZZ_SECONDS seconds (60 by default).
# Usage: scripts/fuzz.sh [build-dir] [target...]; fails when any fuzzer finds a crash.
set -euo pipefail

repo="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$repo/build-fuzz}"
shift || true
seconds="${FUZZ_SECONDS:-60}"

CC=clang CXX=clang++ cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DJYT_FUZZ=ON -DJYT_BUILD_TESTS=OFF >/dev/null

if [ "$#" -gt 0 ]; then
  targets=("$@")
else
  mapfile -t targets < <(ninja -C "$build" -t targets all | sed -n 's/^\(fuzz_[A-Za-z0-9_]*\): phony$/\1/p' | grep -v '_autogen' | sort -u)
fi
if [ "${#targets[@]}" -eq 0 ]; then
  echo "没有模糊测试目标" >&2
  exit 1
fi
ninja -C "$build" -j"${FUZZ_JOBS:-2}" "${targets[@]}"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failed=()
for target in "${targets[@]}"; do
  name="${target#fuzz_}"
  corpus="$work/$name"
  mkdir -p "$corpus" "$work/artifacts-$name"
  if [ -d "$repo/tests/data/fuzz/$name" ]; then
    cp -r "$repo/tests/data/fuzz/$name/." "$corpus/"
  fi
  echo "== $target: ${seconds}s"
  if ! QT_QPA_PLATFORM=offscreen "$build/bin/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix="$work/artifacts-$name/" "$corpus" >"$work/$name.log" 2>&1; then
    tail -40 "$work/$name.log" >&2
    mkdir -p "$build/crashes/$name"
    cp "$work/artifacts-$name"/* "$build/crashes/$name/" 2>/dev/null || true
    echo "$target 发现崩溃，输入保存在 $build/crashes/$name/" >&2
    failed+=("$target")
  else
    tail -2 "$work/$name.log"
  fi
done

if [ "${#failed[@]}" -gt 0 ]; then
  echo "失败: ${failed[*]}" >&2
  exit 1
fi
