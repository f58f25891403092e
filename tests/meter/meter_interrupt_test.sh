#!/usr/bin/env bash
# Ctrl+C during a capture: spectrino-meter (the command given, run under Wine for the Windows
# build) stops reading, finishes its rows and exits normally. Needs the test sound server.
set -uo pipefail
out=$(mktemp)
trap 'rm -f "$out" "$out.err"' EXIT
"$@" --device "Monitor of TestSink" --duration 60 >"$out" 2>"$out.err" &
meter=$!
# The rows leave the program in large pieces, so they cannot tell when the capture runs; this
# is well after the start. Under Wine (an emulator before the program) a start beside other
# suites can take several seconds.
if [ $# -gt 1 ]; then sleep 10; else sleep 5; fi
kill -INT "$meter"
wait "$meter"
status=$?
rows=$(wc -l <"$out")
echo "exit status $status after $rows lines"
cat "$out.err"
[ "$status" -eq 0 ] || exit 1
[ "$rows" -ge 3 ] || exit 1
# Every line whole: the time and 128 bands, and a line end after the last one.
awk -F, 'NF != 129 { bad = 1 } END { exit bad }' "$out" || { echo "a cut row"; exit 1; }
[ -z "$(tail -c 1 "$out" | tr -d '\r\n')" ] || { echo "no line end at the end"; exit 1; }
