#!/usr/bin/env bash
# Installs what is missing, builds, puts a demo catalogue beside the menu and starts it.
# Without a display the menu runs on a virtual one, a screenshot is saved and its path printed.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh -DJYT_BUILD_TESTS=OFF
BIN=$PWD/build/bin

if [ ! -e "$BIN/GameDB.dbs" ]; then
  "$BIN/juyoutai-catalogue" init-demo "$BIN"
fi

if [ -n "${DISPLAY:-}" ]; then
  exec "$BIN/juyoutai"
fi

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/tmp/juyoutai-xvfb.log 2>&1 &
xvfb_pid=$!
trap 'kill $menu_pid $xvfb_pid 2>/dev/null || true' EXIT
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.2; done

"$BIN/juyoutai" &
menu_pid=$!
for _ in $(seq 100); do
  xwininfo -root -tree 2>/dev/null | grep -q '聚游台' && break
  kill -0 "$menu_pid" 2>/dev/null || { wait "$menu_pid"; exit $?; }
  sleep 0.2
done
sleep 2 # let the icons and the tab strip finish painting
shot=${SCREENSHOT:-/tmp/juyoutai-screenshot.png}
"$BIN/juyoutai-screenshot" "$shot"
echo "截图已保存: $shot"
