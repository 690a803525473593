# Shared by the GUI tests and the demo (sourced, bash): an X display, a
# fresh Wine prefix with a virtual desktop, the simulated loader behind a
# Wine COM port, and tessmar.exe in a folder of its own. Everything started
# here is recorded by process id and ended by env_stop, on every path.
#
# Inputs (set before sourcing): ENV_WORK (this run's folder, from
# env_claim_work) and ENV_BASE_PREFIX (a prepared prefix kept between runs,
# made when missing; its last path component must be "gui-prefix").

ENV_PIDS=()
ENV_XVFB_PID=""
ENV_TESSMAR_PID=""
ENV_SIM_PID=""
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

env_log() { echo "[env] $*" >&2; }

# Waits until the command succeeds; false after `limit` seconds.
env_wait() {  # env_wait LIMIT_S COMMAND...
  local limit=$1; shift
  local end=$(( $(date +%s) + limit ))
  until "$@" >/dev/null 2>&1; do
    [ "$(date +%s)" -ge "$end" ] && return 1
    sleep 0.1
  done
}

# Makes FOLDER this run's empty work folder. Only a folder this script made
# earlier (it carries a marker) is ever emptied: a wrong argument must not
# cost anyone their files.
env_claim_work() {  # env_claim_work FOLDER
  local dir=$1
  case "$dir" in
    /*-work) ;;
    *) env_log "refusing work folder '$dir' (absolute, ending in -work)"; return 1 ;;
  esac
  if [ -e "$dir" ]; then
    if [ ! -f "$dir/.tessmar-gui-work" ]; then
      env_log "refusing to empty '$dir': not a work folder of these tests"
      return 1
    fi
    rm -rf -- "$dir"
  fi
  mkdir -p -- "$dir" && touch "$dir/.tessmar-gui-work" || return 1
  ENV_WORK=$dir
}

# An Xvfb of our own; it picks a free display number itself.
env_start_xvfb() {
  rm -f "$ENV_WORK/display"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$ENV_WORK/display" \
       >"$ENV_WORK/xvfb.log" 2>&1 &
  ENV_XVFB_PID=$!
  if env_wait 15 test -s "$ENV_WORK/display"; then
    export DISPLAY=":$(tr -dc 0-9 <"$ENV_WORK/display")"
    env_log "Xvfb on $DISPLAY (pid $ENV_XVFB_PID)"
    return 0
  fi
  env_log "no X display could be started"
  kill "$ENV_XVFB_PID" 2>/dev/null; wait "$ENV_XVFB_PID" 2>/dev/null
  ENV_XVFB_PID=""
  return 1
}

# The prepared prefix: booted once, with a virtual desktop so that hidden
# windows and edit updates do not stall without a window manager. Built
# beside its place and moved there when complete.
env_base_prefix() {
  case "$ENV_BASE_PREFIX" in
    /*/gui-prefix) ;;
    *) env_log "refusing base prefix '$ENV_BASE_PREFIX' (absolute, named gui-prefix)"; return 1 ;;
  esac
  (
    flock 9
    [ -f "$ENV_BASE_PREFIX/.tessmar-ready" ] && exit 0
    local fresh="$ENV_BASE_PREFIX.new"
    rm -rf -- "$fresh" "$ENV_BASE_PREFIX"
    mkdir -p -- "$fresh"
    export WINEPREFIX=$fresh
    wineboot -i >/dev/null 2>&1 </dev/null
    wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1 </dev/null
    wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x1024 /f >/dev/null 2>&1 </dev/null
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 </dev/null
    wineserver -w
    [ -f "$fresh/system.reg" ] || exit 1
    touch "$fresh/.tessmar-ready"
    mv -- "$fresh" "$ENV_BASE_PREFIX"
  ) 9>"$ENV_BASE_PREFIX.lock"
}

# A fresh prefix for this run: hard links to the prepared one, with real
# copies of everything Wine or the tool writes.
env_make_prefix() {
  env_base_prefix || return 1
  export WINEPREFIX=$ENV_WORK/prefix
  cp -al "$ENV_BASE_PREFIX" "$WINEPREFIX" || return 1
  local f
  for f in system.reg user.reg userdef.reg drive_c/windows/win.ini; do
    if [ -e "$WINEPREFIX/$f" ]; then
      rm -f "$WINEPREFIX/$f"
      cp "$ENV_BASE_PREFIX/$f" "$WINEPREFIX/$f"
    fi
  done
  rm -f "$WINEPREFIX/.tessmar-ready"
  # The tool's trace file must exist before it runs: it never creates it.
  mkdir -p "$WINEPREFIX/drive_c/VcProjects/tessmar"
  wineserver -p >/dev/null 2>&1
  env_log "prefix $WINEPREFIX"
}

# The simulated loader on COMn (n in 2..8): dosdevices/comN follows its
# slave side. Extra arguments go to loader_sim.
env_start_sim() {  # env_start_sim SIM_PROGRAM N [ARGS...]
  local sim=$1 n=$2; shift 2
  rm -f "$WINEPREFIX/dosdevices/com$n" "$ENV_WORK/sim.path"
  "$sim" --link "$WINEPREFIX/dosdevices/com$n" --path-file "$ENV_WORK/sim.path" \
         --image "$ENV_WORK/delivered.bin" --log "$ENV_WORK/sim.log" "$@" \
         >"$ENV_WORK/sim.out" 2>&1 </dev/null &
  ENV_SIM_PID=$!
  ENV_PIDS+=("$ENV_SIM_PID")
  env_wait 10 test -s "$ENV_WORK/sim.path" || { env_log "the simulator did not start"; return 1; }
  env_log "simulator on COM$n -> $(cat "$ENV_WORK/sim.path") (pid $ENV_SIM_PID)"
}

# tessmar.exe, started in FOLDER (which holds its Port.txt).
env_start_tessmar() {  # env_start_tessmar EXE FOLDER
  local exe=$1 folder=$2
  ( cd "$folder" && exec wine "$exe" ) >"$ENV_WORK/tessmar.out" 2>&1 </dev/null &
  ENV_TESSMAR_PID=$!
  ENV_PIDS+=("$ENV_TESSMAR_PID")
}

# The window driver, its output with plain line ends. Output goes through a
# file, so Wine helpers that inherit it cannot keep a reader waiting.
env_drv_exe=""
drv() {
  local out="$ENV_WORK/drv.out" rc
  timeout 90 wine "$env_drv_exe" "$@" >"$out" 2>"$ENV_WORK/drv.err" </dev/null
  rc=$?
  tr -d '\r' <"$out"
  return $rc
}

env_stop() {
  local pid
  if [ -n "$ENV_TESSMAR_PID" ] && kill -0 "$ENV_TESSMAR_PID" 2>/dev/null && [ -n "$env_drv_exe" ]; then
    # The normal exit first, so that the tool's teardown runs.
    drv close >/dev/null 2>&1
    env_wait 10 bash -c "! kill -0 $ENV_TESSMAR_PID" || true
  fi
  for pid in "${ENV_PIDS[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${ENV_PIDS[@]}"; do wait "$pid" 2>/dev/null; done
  ENV_PIDS=()
  ENV_TESSMAR_PID=""
  ENV_SIM_PID=""
  # The Wine server of this run's own prefix, with whatever it still serves.
  if [ -n "${ENV_WORK:-}" ] && [ "${WINEPREFIX:-}" = "$ENV_WORK/prefix" ]; then
    wineserver -k >/dev/null 2>&1
    wineserver -w >/dev/null 2>&1
  fi
  if [ -n "$ENV_XVFB_PID" ]; then
    kill "$ENV_XVFB_PID" 2>/dev/null; wait "$ENV_XVFB_PID" 2>/dev/null
    ENV_XVFB_PID=""
  fi
}
