#!/usr/bin/env bash
# Runs a command while a 1000 Hz sine at -20 dBFS (44.1 kHz stereo) plays into the test sound
# server's null sink "test"; exits with the command's status. For tests whose program cannot
# play the tone itself (the Windows build under Wine). The tone lasts longer than any such test
# runs and ends with the command.
set -uo pipefail
sox -q -D -n -t raw -r 44100 -e signed -b 16 -c 2 - synth 300 sine 1000 vol 0.1 |
    pacat --playback --device=test --format=s16le --rate=44100 --channels=2 --latency-msec=20 &
player=$!
"$@"
status=$?
kill "$player" 2>/dev/null
wait "$player" 2>/dev/null
exit "$status"
