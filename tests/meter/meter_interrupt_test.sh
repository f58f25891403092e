#!/usr/bin/env bash
# Ctrl+C during a capture: spectrino-meter (the command given, run under Wine for the Windows
# build) stops reading, finishes its rows and exits normally. Needs the test sound server.
set -uo pipefail
out=$(mktemp)
trap 'rm -f "$out" "$out.err"' EXIT
recording_streams() { pactl list short source-outputs 2>/dev/null | cut -f1 | sort; }
before=$(recording_streams)
"$@" --device "Monitor of TestSink" --duration 60 >"$out" 2>"$out.err" &
meter=$!
# The rows leave the program in large pieces, so they cannot tell when the capture runs; the
# sound server can. A start under Wine beside other suites can take many seconds, so wait for
# the meter's recording stream (one the server did not have before), then let it record for a
# few seconds.
waited=0
while [ -z "$(comm -13 <(echo "$before") <(recording_streams))" ]; do
    if ! kill -0 "$meter" 2>/dev/null || [ "$waited" -ge 600 ]; then
        echo "no recording stream after $((waited / 10)) s"
        cat "$out.err"
        kill "$meter" 2>/dev/null
        exit 1
    fi
    sleep 0.1
    waited=$((waited + 1))
done
echo "recording after about $((waited / 10)) s"
sleep 3
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
