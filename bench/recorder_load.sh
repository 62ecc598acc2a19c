#!/bin/bash
# velmora-recorder's memory and CPU with four instruments at 120 readings a minute each,
# publishing to a local mosquitto: the simulators on pseudo-terminals, SECONDS of recording
# (60 unless given), then the recorder's peak resident memory and its CPU share.
#   bench/recorder_load.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
build=${1:-build}
seconds=${2:-60}
work=$(mktemp -d)
trap 'kill $sim $broker $recorder 2>/dev/null || true; rm -rf "$work"' EXIT
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
mosquitto -p "$port" >/dev/null 2>&1 & broker=$!
"$build"/tools/thermometer-sim/velmora-thermometer-sim --count 4 > "$work/ports" & sim=$!
while [ "$(wc -l < "$work/ports")" -lt 4 ]; do sleep 0.1; done
args=()
n=1
while read -r p; do args+=(--port "$p=bath-$n"); n=$((n + 1)); done < "$work/ports"
VELMORA_JOURNAL_DIR="$work" "$build"/src/recorder/velmora-recorder "${args[@]}" --rate 120 \
  --mqtt "tcp://127.0.0.1:$port" --station load --outbox "$work/outbox" --csv "$work" 2>/dev/null & recorder=$!
sleep 5
ticks0=$(awk '{print $14 + $15}' /proc/$recorder/stat)
sleep "$seconds"
ticks1=$(awk '{print $14 + $15}' /proc/$recorder/stat)
hz=$(getconf CLK_TCK)
rss=$(awk '/VmHWM/ {print $2}' /proc/$recorder/status)
kill -TERM $recorder; wait $recorder || true
readings=$(grep -c . "$work"/outbox/*.out | awk -F: '{s += $2} END {print s}')
echo "recorder, 4 instruments x 120/min for ${seconds} s: peak RSS ${rss} kB," \
     "CPU $(awk -v t=$((ticks1 - ticks0)) -v hz="$hz" -v s="$seconds" 'BEGIN {printf "%.2f", 100 * t / hz / s}') %" \
     "of one core, ${readings} readings published"
