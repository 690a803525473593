#!/usr/bin/env bash
# Runs the Windows serial test program under Wine with COM<n> leading to the
# native simulated loader:
#   win32_roundtrip.sh NATIVE_TOOLS_DIR WINE_RUN PREFIX PROGRAM COM_NUMBER
# Exit 77 (skipped) when there is no native build of the simulator.
set -u
tools=$1 wine_run=$2 prefix=$3 program=$4 com=$5
sim=$tools/loader_sim/loader_sim
if [ -z "$tools" ] || [ ! -x "$sim" ]; then
  echo "skipped: TESSMAR_NATIVE_TOOLS_DIR names no native build of loader_sim"
  exit 77
fi
case "$prefix" in /?*) ;; *) echo "bad prefix '$prefix'" >&2; exit 2 ;; esac

work=$(mktemp -d /tmp/tessmar-win32-serial.XXXXXX)
sim_pid=
cleanup() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null; fi
  if [ -L "$prefix/dosdevices/com$com" ]; then rm -f "$prefix/dosdevices/com$com"; fi
  rm -rf "$work"
}
trap cleanup EXIT

# The attributes answer padded to 120 bytes, the sequence-number answer in
# four pieces, reset-vars stalling the line with XOFF for 2.5 s, Go dropping
# the line; every time.
"$sim" --link "$work/line" --log "$work/frames.log" --path-file "$work/path" \
  --fault long=120,cmd=46,times=0 --fault split=4,cmd=44,times=0 \
  --fault stall=2500,cmd=45,times=0 --fault drop,cmd=42,times=0 >"$work/sim.out" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do [ -s "$work/path" ] && break; sleep 0.1; done
if [ ! -s "$work/path" ]; then echo "loader_sim did not start"; cat "$work/sim.out"; exit 1; fi

# wine-run makes the prefix on first use; the COM link must be in place
# before the program opens the port, so make it first.
if [ ! -f "$prefix/system.reg" ]; then
  "$wine_run" "$prefix" "$program" --gtest_list_tests >/dev/null 2>&1 </dev/null
fi
mkdir -p "$prefix/dosdevices"
ln -sfn "$work/line" "$prefix/dosdevices/com$com"

# Output to a file: Wine's helper processes may keep an inherited pipe open.
TESSMAR_SIM_COM=$com TESSMAR_SIM_LOG="Z:$(printf '%s' "$work/frames.log" | tr / '\\')" \
  timeout 240 "$wine_run" "$prefix" "$program" >"$work/out.txt" 2>&1 </dev/null
rc=$?
cat "$work/out.txt"
if [ $rc -ne 0 ]; then echo "--- frames the simulator received:"; cat "$work/frames.log"; fi
exit $rc
