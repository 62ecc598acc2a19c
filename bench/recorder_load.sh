#!/bin/bash
# velmora-recorder under load, as a lab cabinet's small computer runs it: sixteen instruments on
# pseudo-terminals at 120 readings a minute, the day's CSV file, a real broker (mosquitto on a
# free port) read by an independent subscriber, and stress-ng keeping four workers busy on
# every core. Over SECONDS (600 unless given) its resident memory every minute and its share of
# one core; at the end,
# for each instrument, the polls the simulator answered, the rows in the CSV and the distinct
# sequence numbers the broker delivered. They must be equal: no reading lost to a late poll.
#   bench/recorder_load.sh [BUILD_DIR] [SECONDS] [STRESS_WORKERS]
set -euo pipefail
. "$(dirname "$0")/load_common.sh"
load_setup load "$@"
"$build"/tools/thermometer-sim/velmora-thermometer-sim --count 16 > "$work/ports" 2> "$work/answered" & sim=$!
pids+=($sim)
while [ "$(wc -l < "$work/ports")" -lt 16 ]; do sleep 0.1; done
args=()
n=1
while read -r p; do
  args+=(--port "$p=T$n")
  echo "$p T$n" >> "$work/names"
  n=$((n + 1))
done < "$work/ports"
mkdir "$work/csv"
if [ "$workers" -gt 0 ]; then stress-ng --cpu "$workers" --timeout "$((seconds + 30))" --quiet & pids+=($!); fi
"$build"/src/recorder/velmora-recorder "${args[@]}" --rate 120 --csv "$work/csv" --station load \
  --mqtt "tcp://127.0.0.1:$port" --outbox "$work/outbox" 2> "$work/log" & rec=$!
pids+=($rec)
rss() { awk '/VmRSS/ {print $2}' "/proc/$rec/status"; }
ticks() { awk '{print $14 + $15}' "/proc/$rec/stat"; }
sleep 1
ticks0=$(ticks)
echo "minute  rss_kB  load_1min"
for ((m = 1; m * 60 <= seconds; m++)); do
  sleep 60
  printf '%6d  %6d  %s\n' "$m" "$(rss)" "$(cut -d' ' -f1 /proc/loadavg)"
done
left=$((seconds - (m - 1) * 60))
[ "$left" -gt 0 ] && sleep "$left"
final_rss=$(rss)
cpu=$(awk -v t=$(($(ticks) - ticks0)) -v hz="$(getconf CLK_TCK)" -v s="$seconds" 'BEGIN {printf "%.2f", 100 * t / hz / s}')
kill -TERM "$rec"
wait "$rec" || true
sleep 3  # the last acknowledgements reach the subscriber
kill -TERM "$sim"
wait "$sim" || true
kill "$sub" 2>/dev/null || true
echo "instrument  answered  csv_rows  published  (distinct seq)"
bad=0
while read -r p name; do
  answered=$(awk -v p="$p" '$1 == "answered" && $2 == p {print $3}' "$work/answered")
  rows=$(cat "$work"/csv/*.csv | grep -c "^$name," || true)
  published=$(grep "^velmora/v1/load/$name/reading " "$work/published" | grep -o '"seq":[0-9]*' | sort -u | wc -l)
  printf '%-10s  %8d  %8d  %9d\n' "$name" "$answered" "$rows" "$published"
  if [ "$answered" != "$rows" ] || [ "$rows" != "$published" ]; then bad=1; fi
done < "$work/names"
echo "resident memory at the end: $final_rss kB; $cpu % of one core; log lines: $(wc -l < "$work/log")"
grep -v ' recording$\| idle$\|factors R0=' "$work/log" | head -20 || true
if [ "$bad" -ne 0 ]; then echo "MISMATCH"; exit 1; fi
echo "every answered reading recorded and published"
