#!/usr/bin/env bash
# The demo: tessmar.exe under Wine against the simulated loader on COM3.
#   tools/demo/demo.sh NATIVE_BUILD_DIR MINGW_BUILD_DIR
# Runs a firmware upgrade of a sample image through the window, prints the
# three panes and saves a screenshot. On the user's display the window then
# stays open to try the buttons; closing it ends the demo. Without a
# display everything runs on a private Xvfb and ends at once.
set -u
if [ $# -ne 2 ]; then
  sed -n '2,8p' "$0" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/../.." && pwd)
native=$(cd "$1" && pwd) || exit 2
mingw=$(cd "$2" && pwd) || exit 2
sim=$native/tools/loader_sim/loader_sim
tessmar=$mingw/app/tessmar.exe
driver=$mingw/tools/wine_driver/wine_driver.exe
for f in "$sim" "$tessmar" "$driver"; do
  [ -x "$f" ] || [ -f "$f" ] || { echo "demo: missing $f (build first: ./run demo)" >&2; exit 1; }
done

# shellcheck source=../../tests/gui/wine_env.sh
source "$root/tests/gui/wine_env.sh"
ENV_BASE_PREFIX=$mingw/gui/gui-prefix
mkdir -p "$mingw/gui"
env_claim_work "$mingw/demo-work" || exit 1
trap env_stop EXIT
trap 'exit 1' INT TERM HUP

# The user's display when there is one that answers, otherwise our own.
own_display=1
if [ -n "${DISPLAY:-}" ] && timeout 5 xdotool getdisplaygeometry >/dev/null 2>&1; then
  own_display=0
  echo "== on your display $DISPLAY"
else
  env_start_xvfb || exit 1
  echo "== no display: running on a private Xvfb ($DISPLAY)"
fi
echo "== preparing Wine (the first run boots a prefix, about half a minute)"
env_make_prefix || exit 1
env_drv_exe=$driver

tool_dir=$ENV_WORK/tool
mkdir -p "$tool_dir"
printf 3 >"$tool_dir/Port.txt"                     # COM3
printf 0000001 >"$WINEPREFIX/drive_c/VcProjects/tessmar/RdFlash.txt"
# A sample image of 3000 bytes (12 packets of 256).
head -c 3000 /dev/urandom >"$tool_dir/SAMPLE.ENC"

env_start_sim "$sim" 3 || exit 1
env_start_tessmar "$tessmar" "$tool_dir"
drv find 60000 >/dev/null || { echo "demo: the window did not appear" >&2; exit 1; }
echo "== tessmar.exe is up; simulated loader on COM3"

show_panes() {
  local name id
  for name in Recv:289 Debug:291 Progress:288; do
    id=${name#*:}
    echo "---- ${name%:*} pane"
    printf '%b' "$(drv text "$id")" | tr -d '\r'
    echo
  done
}

win_path="Z:$(tr / '\\' <<<"$tool_dir/SAMPLE.ENC")"
drv post 293                                        # Find Enc File
drv open-file "$(sed 's/\\/\\\\/g' <<<"$win_path")" 20000 || { echo "demo: no file dialog" >&2; exit 1; }
drv wait-equal 290 "$(sed 's/\\/\\\\/g' <<<"$win_path")" 10000 >/dev/null
echo "== image chosen: $win_path (3000 bytes)"
drv send 292 >/dev/null                             # Capture
drv wait-text 289 'Ln 1116: ST_RESET\r\n' 20000 >/dev/null
drv set-text 274 256 >/dev/null                     # Data Size
drv send 294 >/dev/null                             # Firmware Upgrade
if drv wait-text 291 'Done! (success)\r\n' 120000 >/dev/null; then
  echo "== firmware upgrade done"
else
  echo "== firmware upgrade did not finish in time"
fi
show_panes
if cmp -s "$tool_dir/SAMPLE.ENC" <(head -c 3000 "$ENV_WORK/delivered.bin"); then
  echo "== the simulated loader received the image intact ($(stat -c %s "$ENV_WORK/delivered.bin") bytes with the filler)"
fi

shot=$ENV_WORK/tessmar-after-upgrade.png
read -r wx wy ww wh <<<"$(drv screen-rect)"
if import -display "$DISPLAY" -window root -crop "${ww}x${wh}+${wx}+${wy}" +repage "$shot" 2>/dev/null; then
  echo "== screenshot: $shot"
fi

if [ "$own_display" -eq 0 ]; then
  echo "== the window stays open: try Version, Capture, G cmd, the Operation menu..."
  echo "== close tessmar (File > Exit or the close box) to end the demo"
  wait "$ENV_TESSMAR_PID" 2>/dev/null
fi
echo "== done"
