#!/usr/bin/env bash
# Runs one Windows program under Wine for ctest. Wine's own helper processes (the desktop,
# rpcss, ...) may start during a test and outlive it; they would inherit ctest's output
# pipe and hold it open, so the program writes into a file that is printed afterwards.
out=$(mktemp)
wine "$@" >"$out" 2>&1
rc=$?
# A program that dies of an unhandled exception (a stack overflow) may still leave Wine with
# exit code 0 once the debugger has run.
if [ $rc -eq 0 ] && grep -q '^wine: Unhandled' "$out"; then rc=1; fi
cat "$out"
rm -f "$out"
exit $rc
