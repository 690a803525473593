# The checks of tessmar.exe under Wine (sourced by run_gui.sh once the
# display and the prefix are up). One scenario, in the order a technician
# would go: first without a device, then with the simulated loader on COM3.

PASSED=0
FAILED=0
pass() { PASSED=$((PASSED + 1)); echo "ok   $1"; }
fail() {
  FAILED=$((FAILED + 1)); echo "FAIL $1"; shift
  local line; for line in "$@"; do echo "     $line"; done
}
expect_eq() {  # NAME EXPECTED ACTUAL
  if [ "$2" == "$3" ]; then pass "$1"; else fail "$1" "expected: $2" "actual:   $3"; fi
}
expect_contains() {  # NAME NEEDLE HAYSTACK
  case "$3" in *"$2"*) pass "$1" ;; *) fail "$1" "expected to contain: $2" "actual: $3" ;; esac
}
# For effects that follow a dialog's end (the store after the settings
# dialog, a repaint): polls the command's output until it matches, within 30 s.
expect_soon() {  # NAME EXPECTED COMMAND...
  local name=$1 want=$2 got end=$(( $(date +%s) + 30 )); shift 2
  while got=$("$@"); [ "$got" != "$want" ] && [ "$(date +%s)" -lt "$end" ]; do sleep 0.1; done
  expect_eq "$name" "$want" "$got"
}
expect_rc() {  # NAME WANTED_RC COMMAND...
  local name=$1 want=$2; shift 2
  "$@" >/dev/null 2>&1
  local rc=$?
  if [ "$rc" -eq "$want" ]; then pass "$name"; else fail "$name" "exit code $rc, wanted $want: $*"; fi
}

# Control and command ids (resources/resource_ids.h).
EDIT_SIZE=274 EDIT_DEST=277 EDIT_PROGRESS=288 EDIT_RECV=289 EDIT_ENCFILE=290 EDIT_DEBUG=291
BTN_VERSION=266 BTN_RESET3856=267 BTN_CAP=292 BTN_FIND=293 ID_FWUG_INPROCESS=294
IDM_EXIT=258 IDM_SETTINGS=259 IDM_ABOUT=260 IDM_CLEAR_DEBUG=265 IDM_CLEAR_RECV=270
IDM_CLEAR_ALL=40004 IDM_POP_DEBUG=40011 IDM_READ_EEPROM=40012 IDM_WRITE_EEPROM=40013
SETTINGS="Setup Settings..."
STOPPED='Ln 1116: ST_RESET\r\n'

# A command that runs the sequencer; waits for its stop notice and prints
# the Recv pane.
run_and_wait() {  # COMMAND_ID
  drv set-text $EDIT_RECV '' >/dev/null
  drv send "$1" >/dev/null
  drv wait-text $EDIT_RECV "$STOPPED" 60000
}

# Frames the simulator has received so far.
sim_lines() { if [ -f "$ENV_WORK/sim.log" ]; then wc -l <"$ENV_WORK/sim.log"; else echo 0; fi; }

profile_baud() {
  tr -d '\r' <"$WINEPREFIX/drive_c/windows/win.ini" |
    sed -n '/^\[Tessmar_App\]/,/^\[/p' | sed -n 's/^DefaultBaudRate=//p'
}

settings_open() {
  drv post $IDM_SETTINGS
  drv dlg-wait "$SETTINGS" 30000
}
settings_close() {  # 1 Ok, 2 Cancel
  drv dlg-press "$SETTINGS" "$1"
  drv dlg-gone "$SETTINGS" 30000
}

start_tool() {
  env_start_tessmar "$TESSMAR_EXE" "$TOOL_DIR"
  drv find 60000 >/dev/null
}

check_window() {
  local expected actual controls styles
  expected=$(cat <<'TABLE'
289 Edit 0 5 440 90 ""
291 Edit 0 100 440 200 ""
288 Edit 0 305 440 200 ""
290 Edit 0 510 800 25 ""
292 Button 445 40 150 30 "Capture"
293 Button 445 5 150 30 "Find Enc File"
294 Button 445 75 150 30 "Firmware Upgrade"
296 Button 445 110 150 30 "G cmd"
277 Edit 445 170 200 25 "1234567"
276 Button 445 200 200 35 "RQBP vR6 Reset Cmd"
274 Edit 445 265 200 25 "256"
266 Button 445 295 150 35 "Version"
267 Button 445 335 150 35 "Reset 38->56"
TABLE
)
  controls=$(drv controls)
  actual=$(awk '{ $3 = ""; sub(/  /, " "); print }' <<<"$controls")
  expect_eq "controls: ids, classes, rectangles, captions, in creation order" "$expected" "$actual"
  # Styles as the controls report them (Wine moves an edit's WS_BORDER into
  # its extended style): panes multi-line with a vertical scroll bar, push
  # buttons plain, nothing a tab stop.
  styles=$(awk '{ printf "%s %s ", $1, $3 }' <<<"$controls")
  expect_eq "control styles" \
    "289 0x50200044 291 0x50200044 288 0x50200044 290 0x50000000 292 0x50000000 293 0x50000000 294 0x50000000 296 0x50000000 277 0x50000000 276 0x50000000 274 0x50000000 266 0x50000000 267 0x50000000 " \
    "$styles"
  expect_eq "main window at 200,200, 1000 x 600" "200 200 1000 600" "$(drv screen-rect)"
  drv maximize
  expect_eq "maximised: the controls keep their places" "$controls" \
    "$( [ "$(drv screen-rect)" != "200 200 1000 600" ] && drv controls)"
  drv restore
}

check_pane_commands() {
  drv set-text $EDIT_RECV 'r1\r\n'; drv set-text $EDIT_DEBUG 'd1\r\n'; drv set-text $EDIT_PROGRESS 'p1\r\n'
  drv send $IDM_CLEAR_RECV
  expect_eq "Clear Recv leaves a single space" " " "$(drv text $EDIT_RECV)"
  drv send $IDM_CLEAR_DEBUG
  expect_eq "Clear Debug leaves a single space" " " "$(drv text $EDIT_DEBUG)"
  drv send $IDM_CLEAR_ALL
  expect_eq "Clear All empties the three panes" "||" \
    "$(drv text $EDIT_DEBUG)|$(drv text $EDIT_RECV)|$(drv text $EDIT_PROGRESS)"
  drv send $IDM_POP_DEBUG
  expect_eq "Pop Debug on the empty queue" '\r\n' "$(drv text $EDIT_DEBUG)"
}

check_about() {
  local about="About BootLoader" icon
  drv post $IDM_ABOUT
  expect_rc "About box opens" 0 drv dlg-wait "$about" 30000
  icon=$(drv dlg-controls "$about" | awk '$1 == 528 { print $3 }')
  expect_eq "About box hides its icon" "0" "$(( ${icon:-0x10000000} & 0x10000000 ))"
  drv dlg-send "$about" 2     # what Esc sends, handled when this returns
  drv dlg-close "$about"      # the close box, likewise
  expect_rc "Esc and the close box leave the About box open" 0 drv dlg-wait "$about" 100
  drv dlg-press "$about" 1
  expect_rc "OK closes the About box" 0 drv dlg-gone "$about" 30000
}

check_no_port() {
  drv post $BTN_VERSION
  expect_eq "COM3 missing: message box" "Connection failed." "$(drv msgbox tessmar 60000)"
  drv dlg-gone tessmar 30000
}

check_settings_initial() {
  settings_open
  expect_eq "port list: COM1..COM8, COM3 from Port.txt" \
    "count 8 selected 2|0 0 COM1|1 0 COM2|2 0 COM3|3 0 COM4|4 0 COM5|5 0 COM6|6 0 COM7|7 0 COM8" \
    "$(drv combo "$SETTINGS" 544 | paste -sd'|')"
  expect_eq "baud list: captions, item data; 56k for a missing profile value" \
    "count 13 selected 10|0 110 110|1 300 300|2 600 600|3 1200 1200|4 2400 2400|5 4800 4800|6 9600 9600|7 14400 14.4k|8 19200 19.2k|9 38400 38.4k|10 56000 56k|11 128000 128k|12 256000 256k" \
    "$(drv combo "$SETTINGS" 545 | paste -sd'|')"
  expect_eq "data bits list" "count 4 selected 3|0 0 5|1 0 6|2 0 7|3 0 8" \
    "$(drv combo "$SETTINGS" 546 | paste -sd'|')"
  expect_eq "parity list" "count 5 selected 0|0 0 None|1 2 Even|2 1 Odd|3 3 Mark|4 4 Space" \
    "$(drv combo "$SETTINGS" 547 | paste -sd'|')"
  expect_eq "stop bits list" "count 3 selected 0|0 0 1|1 1 1.5|2 2 2" \
    "$(drv combo "$SETTINGS" 548 | paste -sd'|')"
  local boxes="" id
  for id in 549 550 551 552 553 554 556 557; do boxes+="$(drv check "$SETTINGS" $id)"; done
  expect_eq "check boxes: only Display Errors on" "00000001" "$boxes"
  expect_eq "CN_RECEIVE box disabled, port list enabled" "0 1" \
    "$(drv enabled "$SETTINGS" 556) $(drv enabled "$SETTINGS" 544)"

  # Cancel still stores the record's port and rate: a missing Port.txt is
  # made again, holding the one digit.
  rm -f "$TOOL_DIR/Port.txt"
  drv combo-select "$SETTINGS" 545 6
  settings_close 2
  expect_soon "Cancel stores the unchanged rate in win.ini" "56000" profile_baud
  expect_eq "Cancel stores Port.txt" "3" "$(cat "$TOOL_DIR/Port.txt" 2>&1)"

  settings_open
  drv combo-select "$SETTINGS" 545 6
  settings_close 1
  expect_soon "Ok stores the chosen rate in win.ini" "9600" profile_baud
}

# Pixels of the "Destination" label in pure red, counted on the screen.
red_label_pixels() {
  local x y w h
  read -r x y w h <<<"$(drv screen-rect $EDIT_DEST)"
  import -display "$DISPLAY" -window root -crop "120x14+$x+$((y - 15))" +repage txt:- 2>/dev/null |
    grep -c '#FFFF00000000'
}

red_label_seen() { local n; n=$(red_label_pixels); [ "${n:-0}" -gt 0 ] && echo yes || echo no; }

# The Font button: the chooser edits the record's font and colour at once,
# and Cancel of the settings dialog keeps them; the labels show them at the
# next paint.
check_font() {
  expect_eq "labels start black" "0" "$(red_label_pixels)"
  settings_open
  drv dlg-press "$SETTINGS" 555
  expect_rc "Font opens the font chooser" 0 drv dlg-wait Font 30000
  drv combo-select Font 1139 9          # the colour list: Red
  drv dlg-press Font 1139 1             # CBN_SELCHANGE, as a user's choice sends
  drv dlg-press Font 1
  drv dlg-gone Font 30000
  settings_close 2
  drv redraw
  expect_soon "a colour picked, then Cancel: the labels are red" "yes" red_label_seen
  expect_eq "and Cancel kept the other settings" "9600" "$(profile_baud)"
}

# The reset sequence leaves the record at 57600, which the baud list does
# not hold; Ok must keep it (the loader answers at 57600 only).
check_reset_and_57600() {
  local recv
  # The raw reset gets no answer; the capture after it switches to 57600.
  run_and_wait $BTN_RESET3856 >/dev/null
  expect_eq "raw reset at 38400" "rate=38400 cmd=raw" "$(tail -n 1 "$ENV_WORK/sim.log" | cut -d' ' -f1-2)"
  recv=$(run_and_wait $BTN_CAP)
  expect_contains "the capture after it reaches the loader" 'Ln 1403: Captured\r\n' "$recv"
  settings_open
  expect_eq "at 57600 the baud list has no selection" "count 13 selected -1" \
    "$(drv combo "$SETTINGS" 545 | head -n 1)"
  settings_close 1
  expect_eq "57600 is not written to win.ini" "9600" "$(profile_baud)"
  recv=$(run_and_wait $BTN_VERSION)
  expect_eq "Version after Ok goes out at 57600" "57600" \
    "$(tail -n 1 "$ENV_WORK/sim.log" | grep -o 'rate=[0-9]*' | cut -d= -f2)"
  expect_eq "and is answered: length line, the frame as received, the stop notice" \
    'len = 25\r\n0A 0 1 1 2 3 4 5 6 7 8 3 0 1 0 1 0 2 0 1 D B E 0 0D \r\nLn 1116: ST_RESET\r\n' "$recv"
}

check_upgrade() {
  local image="$TOOL_DIR/FW.ENC" win_path escaped debug
  head -c 300 /dev/urandom >"$image"
  win_path="Z:$(tr / '\\' <<<"$image")"
  escaped=$(sed 's/\\/\\\\/g' <<<"$win_path")
  drv post $BTN_FIND
  drv open-file "$escaped" 60000
  expect_eq "Find Enc File shows the chosen path" "$escaped" "$(drv wait-equal $EDIT_ENCFILE "$escaped" 30000)"
  drv set-text $EDIT_SIZE 256
  drv send $ID_FWUG_INPROCESS
  debug=$(drv wait-text $EDIT_DEBUG 'Done! (success)\r\n' 60000)
  expect_eq "upgrade of 300 bytes at 256: the Debug pane after the last packet" \
    'Sequence 1\r\nlen = 23\r\n0A 0 1 1 2 3 4 5 6 7 8 3 0 1 0 1 0 1 D 4 8 0 0D \r\nDone! (success)\r\n' "$debug"
  expect_eq "progress pane after the last packet" '85.33 %\r\n' "$(drv text $EDIT_PROGRESS)"
  expect_eq "image delivered intact (2 packets, filler after the file)" "512 same" \
    "$(stat -c %s "$ENV_WORK/delivered.bin") $(cmp -s -n 300 "$image" "$ENV_WORK/delivered.bin" && echo same)"
  if [ -n "${GUI_SCREENSHOT:-}" ]; then import -display "$DISPLAY" -window root "$GUI_SCREENSHOT"; fi

  # What is typed into the path field is not what an upgrade reads.
  drv set-text $EDIT_ENCFILE 'Z:\\nowhere\\OTHER.ENC'
  drv set-text $EDIT_DEBUG ''
  drv send $ID_FWUG_INPROCESS
  expect_contains "a typed path does not change the image" 'Done! (success)\r\n' \
    "$(drv wait-text $EDIT_DEBUG 'Done! (success)\r\n' 60000)"
}

check_param_dialogs() {
  drv post $IDM_WRITE_EEPROM
  expect_rc "Write Data opens" 0 drv dlg-wait "Write Data" 30000
  expect_eq "Write Data defaults" "3D 55" "$(drv dlg-text "Write Data" 1011) $(drv dlg-text "Write Data" 1014)"
  drv set-text $EDIT_RECV ''
  drv dlg-set "Write Data" 1014 A5
  drv dlg-press "Write Data" 1
  drv dlg-gone "Write Data" 30000
  drv wait-text $EDIT_RECV "$STOPPED" 60000 >/dev/null

  drv post $IDM_READ_EEPROM
  expect_rc "Read E2 opens" 0 drv dlg-wait "Read E2" 30000
  expect_eq "Read E2 defaults" "3D 01" "$(drv dlg-text "Read E2" 1018) $(drv dlg-text "Read E2" 1014)"
  drv set-text $EDIT_RECV ''
  drv dlg-press "Read E2" 1
  drv dlg-gone "Read E2" 30000
  drv wait-text $EDIT_RECV "$STOPPED" 60000 >/dev/null
  expect_contains "accepted dialogs: the byte written is read back" 'Read Data: [A5]\r\n' "$(drv text $EDIT_DEBUG)"

  # Refused input: nothing goes out, so the next request is the only one
  # the loader sees.
  local before; before=$(sim_lines)
  drv post $IDM_WRITE_EEPROM
  drv dlg-wait "Write Data" 30000
  drv dlg-set "Write Data" 1014 555
  drv dlg-press "Write Data" 1
  drv dlg-gone "Write Data" 30000
  run_and_wait $BTN_VERSION >/dev/null
  expect_eq "rejected dialog (odd data count): nothing sent" "$((before + 1)) cmd=05" \
    "$(sim_lines) $(tail -n 1 "$ENV_WORK/sim.log" | cut -d' ' -f2)"
}

# Real keys on the X display: the accelerators reach the window from a pane
# and from a field. A second Shift+Page Up finds the port already open.
click_into() {
  local x y w h
  read -r x y w h <<<"$(drv screen-rect "$1")"
  xdotool mousemove $((x + w / 2)) $((y + h / 2)) click 1
}
check_accelerators() {
  click_into $EDIT_RECV
  xdotool key shift+Prior
  drv text $EDIT_RECV >/dev/null
  xdotool key shift+Prior
  expect_eq "Shift+Page Up from a pane, twice: the second finds the port open" "Connection failed." \
    "$(drv msgbox tessmar 30000)"
  drv dlg-gone tessmar 30000
  click_into $EDIT_DEST
  xdotool key shift+Next
  drv text $EDIT_RECV >/dev/null
  xdotool key shift+Prior
  expect_rc "Shift+Page Down from a field closed it: the next connect succeeds" 1 drv dlg-wait tessmar 1500
  xdotool key shift+Next
  drv text $EDIT_RECV >/dev/null
}

check_persistence() {
  local rdflash="$WINEPREFIX/drive_c/VcProjects/tessmar/RdFlash.txt"
  drv set-text $EDIT_DEST 7654321
  drv post $IDM_EXIT
  expect_rc "File/Exit ends the program" 0 drv gone 60000
  wait "$ENV_TESSMAR_PID" 2>/dev/null
  expect_eq "Destination saved in RdFlash.txt" "7654321" "$(head -c 7 "$rdflash")"
  expect_contains "trace lines behind the Destination" "ST_START" "$(tail -c +8 "$rdflash")"
  expect_contains "upgrade start marker in the trace" "Start" "$(tail -c +8 "$rdflash")"

  start_tool
  expect_eq "restart: Destination restored" "7654321" "$(drv text $EDIT_DEST)"
  settings_open
  expect_eq "restart: port and rate restored" "count 8 selected 2|count 13 selected 6" \
    "$(drv combo "$SETTINGS" 544 | head -n 1)|$(drv combo "$SETTINGS" 545 | head -n 1)"
  settings_close 2

  drv set-text $EDIT_DEST 12345
  drv post $IDM_EXIT
  drv gone 60000
  wait "$ENV_TESSMAR_PID" 2>/dev/null
  expect_eq "a Destination of 5 characters is not saved" "7654321" "$(head -c 7 "$rdflash")"
}

run_checks() {  # TESSMAR_EXE WINE_DRIVER_EXE LOADER_SIM
  TESSMAR_EXE=$1
  env_drv_exe=$2
  local sim=$3
  TOOL_DIR=$ENV_WORK/tool
  mkdir -p "$TOOL_DIR"
  printf 3 >"$TOOL_DIR/Port.txt"
  printf 1234567 >"$WINEPREFIX/drive_c/VcProjects/tessmar/RdFlash.txt"

  start_tool || { fail "tessmar.exe shows its window"; return 1; }
  check_window
  check_pane_commands
  check_about
  check_no_port
  check_settings_initial
  check_font
  env_start_sim "$sim" 3 --app || { fail "the simulator starts"; return 1; }
  check_reset_and_57600
  check_upgrade
  check_param_dialogs
  check_accelerators
  check_persistence
  echo "== $PASSED passed, $FAILED failed"
  [ "$FAILED" -eq 0 ]
}
