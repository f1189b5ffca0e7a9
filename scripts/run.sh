#!/usr/bin/env bash
# Sets up, builds, installs and starts Halvren under Wine in a throwaway prefix.
# Uses $DISPLAY when there is one; otherwise starts a virtual display and says where.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh" --target halvren stage_data
cmake --install "$root/build" --prefix "$root/build/install" >/dev/null
. "$root/scripts/winenv.sh"
if [ -z "${DISPLAY:-}" ]; then
  halvren_start_display
  echo "Halvren runs on the virtual display $DISPLAY (screenshot: DISPLAY=$DISPLAY import -window root shot.png)"
fi
halvren_start_wine
wine "$root/build/install/halvren.exe"
