#!/usr/bin/env bash
# Installs what is missing, builds, puts a demo catalogue beside the menu and starts it.
# Without a display the menu runs on a virtual one, a screenshot is saved and its path printed.
set -euo pipefail
cd "$(dirname "$0")/.."
BIN=$PWD/build/bin

if [ "${1:-}" != --on-virtual-display ]; then
  bash scripts/install-deps.sh
  bash scripts/build.sh -DJYT_BUILD_TESTS=OFF
  if [ ! -e "$BIN/GameDB.dbs" ]; then
    "$BIN/juyoutai-catalogue" init-demo "$BIN"
  fi
  if [ -n "${DISPLAY:-}" ]; then
    exec "$BIN/juyoutai"
  fi
  # xvfb-run picks a free display, waits until its own server is up and stops it afterwards.
  command -v xvfb-run >/dev/null || { echo "错误: 找不到 xvfb-run（Debian 软件包 xvfb）" >&2; exit 1; }
  xvfb_log=$(mktemp /tmp/juyoutai-xvfb.XXXXXX)
  status=0
  xvfb-run -a -e "$xvfb_log" -s "-screen 0 1280x800x24" bash "$0" --on-virtual-display || status=$?
  if [ "$status" -ne 0 ]; then
    echo "错误: 未能在虚拟显示上运行演示（退出码 $status），虚拟显示的日志: $xvfb_log" >&2
    exit "$status"
  fi
  rm -f "$xvfb_log"
  exit 0
fi

# From here on the script runs inside xvfb-run, on the display it started.
xdpyinfo >/dev/null 2>&1 || { echo "错误: 虚拟显示 ${DISPLAY:-} 没有响应" >&2; exit 1; }
"$BIN/juyoutai" &
menu_pid=$!
trap 'kill $menu_pid 2>/dev/null || true' EXIT
shown=no
for _ in $(seq 100); do
  if xwininfo -root -tree 2>/dev/null | grep -q '聚游台'; then shown=yes; break; fi
  kill -0 "$menu_pid" 2>/dev/null || { wait "$menu_pid" || exit $?; echo "错误: 菜单意外退出" >&2; exit 1; }
  sleep 0.2
done
[ "$shown" = yes ] || { echo "错误: 20 秒内没有出现菜单窗口" >&2; exit 1; }
sleep 2 # let the icons and the tab strip finish painting
shot=${SCREENSHOT:-/tmp/juyoutai-screenshot.png}
"$BIN/juyoutai-screenshot" "$shot"
echo "截图已保存: $shot"
