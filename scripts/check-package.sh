#!/usr/bin/env bash
# Checks the install rules and the Debian package made from an existing build tree
# (default: build-tests): the desktop entry and the AppStream file validate, the package holds
# every file and dependency the menu needs and nothing of the operator's, and the menu started
# from the unpacked package on a demo catalogue shows its window on a virtual display.
set -euo pipefail
self=$(realpath "$0")
BUILD_DIR=$(realpath -m -- "${1:-$(dirname "$self")/../build-tests}")
cd "$(dirname "$self")/.."
PROGRAM_DIR=opt/juyoutai

fail() { echo "check-package: $*" >&2; exit 1; }

# Runs on the virtual display: starts the menu and waits until its window is mapped.
show_menu() {
  local program=$1 log=$2 wid=
  "$program" 2>"$log" &
  menu_pid=$!
  trap 'kill $menu_pid 2>/dev/null || true' EXIT
  for _ in $(seq 150); do
    kill -0 "$menu_pid" 2>/dev/null || { cat "$log" >&2; fail "菜单在显示窗口前退出"; }
    wid=$(xwininfo -root -tree | awk '/"聚游台": \("juyoutai" "juyoutai"\)/ { print $1; exit }')
    if [ -n "$wid" ] && xwininfo -id "$wid" | grep -q 'IsViewable'; then
      break
    fi
    wid=
    sleep 0.2
  done
  [ -n "$wid" ] || { cat "$log" >&2; fail "30 秒内没有出现菜单窗口"; }
  xprop -id "$wid" -f _NET_WM_ICON 32c _NET_WM_ICON | grep -q '= 256, 256, ' || fail "菜单窗口没有程序图标"
  if grep -E -i 'error|fail|cannot|could not|not found|错误|找不到' "$log" >&2; then
    fail "菜单启动时报告了错误"
  fi
}

if [ "${1:-}" = --show-menu ]; then
  show_menu "$2" "$3"
  exit 0
fi

[ -x "$BUILD_DIR/bin/juyoutai" ] || fail "没有构建: $BUILD_DIR"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# The install rules, staged into a folder, give files the validators accept.
cmake --install "$BUILD_DIR" --prefix "$tmp/install" >/dev/null
desktop-file-validate "$tmp/install/usr/share/applications/juyoutai.desktop"
appstreamcli validate --no-net "$tmp/install/usr/share/metainfo/juyoutai.metainfo.xml" >/dev/null ||
  appstreamcli validate --no-net "$tmp/install/usr/share/metainfo/juyoutai.metainfo.xml" >&2 ||
  fail "AppStream 文件无效"

(cd "$BUILD_DIR" && cpack -G DEB -B "$tmp/deb" >"$tmp/cpack.log" 2>&1) || { cat "$tmp/cpack.log" >&2; fail "cpack 失败"; }
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$BUILD_DIR/CMakeCache.txt")
deb=$tmp/deb/juyoutai_${version}_amd64.deb
[ -f "$deb" ] || fail "没有生成 $(basename "$deb")"

files=$(dpkg-deb -c "$deb" | awk '{ print $6 $7 $8 }')
for path in \
  ./$PROGRAM_DIR/juyoutai ./$PROGRAM_DIR/juyoutai-web ./$PROGRAM_DIR/juyoutai-catalogue ./$PROGRAM_DIR/juyoutai-demo-game \
  ./$PROGRAM_DIR/SkinH.SH "./usr/bin/juyoutai-catalogue->/$PROGRAM_DIR/juyoutai-catalogue" \
  ./usr/share/applications/juyoutai.desktop ./usr/share/metainfo/juyoutai.metainfo.xml \
  ./usr/share/icons/hicolor/scalable/apps/juyoutai.svg ./usr/share/icons/hicolor/48x48/apps/juyoutai.png \
  ./usr/share/icons/hicolor/256x256/apps/juyoutai.png; do
  grep -qxF -- "$path" <<<"$files" || fail "软件包缺少 $path"
done
# The operator's catalogue and settings are never shipped, and no maintainer script could remove them.
if grep -E 'GameDB\.dbs|juyoutai\.ini' <<<"$files"; then fail "软件包包含操作员的文件"; fi
dpkg-deb -e "$deb" "$tmp/control"
for script in preinst postinst prerm postrm; do
  [ ! -e "$tmp/control/$script" ] || fail "软件包带有维护脚本 $script"
done

depends=$(dpkg-deb -f "$deb" Depends)
for package in libqt6webenginewidgets6 libqt6widgets6 libqt6svg6 libsqlcipher libsodium libpq5 fonts-wqy-zenhei qt6-translations-l10n; do
  grep -q "$package" <<<"$depends" || fail "Depends 缺少 $package: $depends"
done

# The unpacked package runs on its own: the tool finds the demo game beside itself, the menu
# finds its catalogue, skin and the web engine.
dpkg-deb -x "$deb" "$tmp/root"
dir=$tmp/root/$PROGRAM_DIR
"$dir/juyoutai-catalogue" init-demo "$dir" >"$tmp/init.log" 2>&1 || { cat "$tmp/init.log" >&2; fail "init-demo 失败"; }
[ "$(readlink -f "$dir/demo_games/game01/start_game")" = "$dir/juyoutai-demo-game" ] ||
  fail "演示游戏没有指向软件包中的 juyoutai-demo-game"
QTWEBENGINE_DISABLE_SANDBOX=1 xvfb-run -a -s '-screen 0 1280x800x24 -nolisten tcp' \
  bash "$self" --show-menu "$dir/juyoutai" "$tmp/menu.log"
echo "check-package: 通过 ($(basename "$deb"))"
