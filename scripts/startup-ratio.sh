#!/usr/bin/env bash
# Times exec -> first window mapped for the menu and for the floor program (bench/floor: reads every
# row of the same encrypted catalogue into a list view), interleaved, under Xvfb, and prints the
# medians and their ratio for each catalogue size, with both programs' peak resident memory and the CPU
# time each had used when its window was mapped (which a busy machine hardly changes).
# Usage: scripts/startup-ratio.sh [GAMES...]  (default 10000 100000)
# RUNS sets the runs per program and size (default 15); BUILD_DIR the optimised build (build-release);
# MENU another menu program to time instead of the one built here; OTHER a second menu program
# (e.g. an older build) timed in the same rounds and reported on a line of its own.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build-release}
RUNS=${RUNS:-15}
bin=$PWD/$BUILD_DIR/bin
if [ ! -x "$bin/juyoutai-maptime" ] || [ ! -x "$bin/juyoutai-floor" ]; then
  BUILD_TYPE=Release BUILD_DIR=$BUILD_DIR bash scripts/build.sh -DJYT_BUILD_TESTS=OFF
fi
if [ "$#" -eq 0 ]; then set -- 10000 100000; fi

work=$(mktemp -d)
xvfb_pid=
cleanup() {
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

display=99
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

for games in "$@"; do
  dir=$work/$games
  mkdir -p "$dir"
  QT_QPA_PLATFORM=offscreen "$bin/juyoutai-bench" --generate "$games" "$dir" >/dev/null 2>&1
  # A menu finds its catalogue beside its own program file.
  cp "${MENU:-$bin/juyoutai}" "$dir/juyoutai"
  cp "$bin/SkinH.SH" "$dir/"
  programs=(menu floor)
  if [ -n "${OTHER:-}" ]; then
    mkdir -p "$dir/other"
    cp "$OTHER" "$dir/other/juyoutai"
    cp "$bin/SkinH.SH" "$dir/other/"
    ln -sf ../GameDB.dbs "$dir/other/GameDB.dbs"
    programs+=(other)
  fi
  command_of() {
    case $1 in
      menu) echo "$dir/juyoutai" ;;
      floor) echo "$bin/juyoutai-floor $dir" ;;
      other) echo "$dir/other/juyoutai" ;;
    esac
  }
  export DISPLAY=":$display" QT_QPA_PLATFORM=xcb
  # One unmeasured run of each, so that all find the files in the page cache.
  for p in "${programs[@]}"; do
    # shellcheck disable=SC2046
    "$bin/juyoutai-maptime" $(command_of "$p") >/dev/null
    : >"$work/$p"
  done
  for _ in $(seq "$RUNS"); do
    for p in "${programs[@]}"; do
      # shellcheck disable=SC2046
      "$bin/juyoutai-maptime" $(command_of "$p") >>"$work/$p"
    done
  done
  unset DISPLAY QT_QPA_PLATFORM
  floor=$(cut -d' ' -f1 <"$work/floor" | median)
  floor_mb=$(cut -d' ' -f2 <"$work/floor" | median)
  floor_cpu=$(cut -d' ' -f3 <"$work/floor" | median)
  for p in "${programs[@]}"; do
    [ "$p" = floor ] && continue
    ms=$(cut -d' ' -f1 <"$work/$p" | median)
    mb=$(cut -d' ' -f2 <"$work/$p" | median)
    cpu=$(cut -d' ' -f3 <"$work/$p" | median)
    awk -v g="$games" -v p="$p" -v m="$ms" -v f="$floor" -v n="$RUNS" -v mm="$mb" -v fm="$floor_mb" \
      -v c="$cpu" -v fc="$floor_cpu" -v load="$(cut -d' ' -f1 /proc/loadavg)" \
      'BEGIN { printf "%7d games, %-5s: %.1f ms, floor %.1f ms, ratio %.2f; CPU to the first map %.1f ms, floor %.1f ms, ratio %.2f; peak memory %.1f MB, floor %.1f MB (medians of %d, load %s)\n", g, p, m, f, m / f, c, fc, c / fc, mm, fm, n, load }'
  done
done
