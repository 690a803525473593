#!/usr/bin/env bash
# The GUI runner empties its work folder and may replace its base prefix:
# it must refuse any folder that is not one of its own, and bad arguments,
# before it touches anything.
set -u
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf -- "$scratch"' EXIT
failed=0
check() {  # NAME WANTED_RC ACTUAL_RC
  if [ "$2" -eq "$3" ] && [ -f "$scratch/keep/precious" ] && [ -f "$scratch/keep-work/precious" ]; then
    echo "ok   $1"
  else
    echo "FAIL $1 (exit $3, wanted $2; files kept: $(ls "$scratch"/keep*/precious 2>/dev/null | wc -l)/2)"
    failed=1
  fi
}
mkdir -p "$scratch/keep" "$scratch/keep-work"
touch "$scratch/keep/precious" "$scratch/keep-work/precious"

bash "$here/run_gui.sh" gtest "$scratch/gui-prefix" "$scratch/keep" /bin/true >/dev/null 2>&1
check "a work folder not ending in -work is refused" 1 $?
bash "$here/run_gui.sh" gtest "$scratch/gui-prefix" "$scratch/keep-work" /bin/true >/dev/null 2>&1
check "a -work folder the runner did not make is refused" 1 $?
bash "$here/run_gui.sh" gtest "$scratch/gui-prefix" "$scratch/keep-work" >/dev/null 2>&1
check "missing arguments are refused" 2 $?
bash "$here/run_gui.sh" tessmar "$scratch/gui-prefix" "$scratch/new-work" a b >/dev/null 2>&1
check "arguments of the wrong mode are refused" 2 $?
(
  source "$here/wine_env.sh"
  ENV_BASE_PREFIX=$scratch/keep
  env_base_prefix
) >/dev/null 2>&1
check "a base prefix not named gui-prefix is refused" 1 $?
exit $failed
