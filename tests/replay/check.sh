#!/bin/sh
# check.sh REPLAY SCRIPT: runs the script and compares with SCRIPT's .expected
# file (the exit status is the last line, "status N").
replay=$1
script=$2
expected=${script%.jsonl}.expected
actual=$(mktemp)
trap 'rm -f "$actual"' EXIT
"$replay" "$script" >"$actual" 2>/dev/null
echo "status $?" >>"$actual"
if [ "${UPDATE_EXPECTED:-0}" = 1 ]; then cp "$actual" "$expected"; exit 0; fi
diff -u "$expected" "$actual"
