#!/usr/bin/env bash
# Builds the engine benchmark and runs it in a throwaway Wine prefix (no display needed).
# Usage: bench/run.sh [repetitions]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh" --target bench_engine
. "$root/scripts/winenv.sh"
halvren_start_wine
wine "$root/build/stage/bench_engine.exe" "$@"
