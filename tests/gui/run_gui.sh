#!/usr/bin/env bash
# The Windows program's tests under Wine, each run on an X display of its own
# and a fresh Wine prefix:
#   run_gui.sh gtest   BASE_PREFIX WORK TEST_EXE
#   run_gui.sh tessmar BASE_PREFIX WORK TESSMAR_EXE WINE_DRIVER_EXE LOADER_SIM
# BASE_PREFIX (named gui-prefix) is prepared once and cloned; WORK (ending
# in -work) is emptied first. Whatever is started is ended again, also when
# a check fails or the run is stopped.
set -u
usage() { sed -n '2,8p' "$0" >&2; exit 2; }
[ $# -ge 1 ] || usage
mode=$1
case $mode in
  gtest) [ $# -eq 4 ] || usage ;;
  tessmar) [ $# -eq 6 ] || usage ;;
  *) usage ;;
esac
base_arg=$2
work_arg=$3
shift 3
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=wine_env.sh
source "$here/wine_env.sh"

absolute() { case "$1" in /*) echo "$1" ;; *) echo "$(pwd)/$1" ;; esac; }
ENV_BASE_PREFIX=$(absolute "$base_arg")
env_claim_work "$(absolute "$work_arg")" || exit 1
mkdir -p "$(dirname "$ENV_BASE_PREFIX")"

trap env_stop EXIT
trap 'exit 1' INT TERM HUP

env_start_xvfb || exit 1
env_make_prefix || exit 1

case $mode in
  gtest)
    timeout 240 wine "$1" >"$ENV_WORK/gtest.out" 2>&1 </dev/null
    rc=$?
    tr -d '\r' <"$ENV_WORK/gtest.out"
    exit $rc
    ;;
  tessmar)
    # shellcheck source=gui_checks.sh
    source "$here/gui_checks.sh"
    run_checks "$@"
    exit $?
    ;;
esac
