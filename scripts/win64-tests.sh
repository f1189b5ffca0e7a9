#!/usr/bin/env bash
# Runs test programs again in a 64-bit Wine prefix, where the 32-bit program runs under WOW64
# (System32 and parts of the registry redirected). The prefix and its wineserver are its own; the
# display is the one of the run that started it, or a new one when there is none.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
outer_display=${DISPLAY:-}
. "$root/scripts/winenv.sh"
export WINEARCH=win64 HALVREN_WOW64=1
if [ -z "$outer_display" ]; then halvren_start_display || exit 1; fi
halvren_start_wine
rc=0
for program in "$@"; do
  echo "== $(basename "$program") in a 64-bit prefix"
  # Into a file, as scripts/wine-run.sh does: Wine's helper processes may outlive the program.
  wine "$program" --gtest_brief=1 >"$HALVREN_TMP/out" 2>&1 || rc=1
  grep -q '^wine: Unhandled' "$HALVREN_TMP/out" && rc=1  # see wine-run.sh
  cat "$HALVREN_TMP/out"
done
exit $rc
