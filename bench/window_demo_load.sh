#!/bin/bash
# The window with sixteen demo instruments (--demo 16) recording at 120 a minute and publishing
# to a real broker (mosquitto on a free port) read by an independent subscriber, in a virtual
# display, beside stress-ng keeping four workers busy on every core. After SECONDS (600 unless
# given) the recording is stopped (Ctrl+R): the polls each demo instrument answered (a poll
# sent in the last second before Record off, which closes the ports at once as designed, is
# shown apart: its answer may come after the recording ended), the readings the recording
# journal holds, and the distinct sequence numbers the broker delivered for each instrument.
# Needs xvfb-run, xdotool and openbox.
#   bench/window_demo_load.sh [BUILD_DIR] [SECONDS] [STRESS_WORKERS]
set -euo pipefail
. "$(dirname "$0")/load_common.sh"
load_setup window "$@"
printf '[Velmora]\nFlow=120\nLangID=2\nWidth=1600\nHeight=900\n[Velmora/Network]\nEnabled=1\nUrl=tcp://127.0.0.1:%s\nStation=window\n' \
  "$port" > "$work/Velmora.ini"
mkdir -p "$work/home"
if [ "$workers" -gt 0 ]; then stress-ng --cpu "$workers" --timeout "$((seconds + 60))" --quiet & pids+=($!); fi
cat > "$work/run" <<EOF
#!/bin/bash
set -euo pipefail
openbox >/dev/null 2>&1 &
sleep 1
HOME="$work/home" VELMORA_DEMO_TALLY=1 VELMORA_SETTINGS="$work/Velmora.ini" VELMORA_JOURNAL_DIR="$work" \
  "$build/src/app/velmora" --demo 16 >/dev/null 2>"$work/answered" & app=\$!
window=\$(xdotool search --sync --onlyvisible --pid \$app | head -n 1)
sleep 5  # the instruments' factors are read first
xdotool windowactivate --sync "\$window"
xdotool key --clearmodifiers ctrl+r
sleep $seconds
xdotool windowactivate --sync "\$window"
xdotool key --clearmodifiers ctrl+r
sleep 5
awk '/VmRSS/ {print "resident memory at the end: " \$2 " kB"}' /proc/\$app/status
kill \$app
EOF
chmod +x "$work/run"
xvfb-run -a -s "-screen 0 1920x1080x24" "$work/run"
sleep 1
# The journal: channel 1's readings are V records, channel k's are "W k".
journal=$(ls "$work"/journal-*.txt | head -n 1)
echo "instrument  answered  asked_in_last_second  journal"
bad=0
total_answered=0
total_recorded=0
for k in $(seq 1 16); do
  answered=$(awk -v k="$k" '$1 == "demo" && $2 == k {n += $4} END {print n + 0}' "$work/answered")
  cut=$(awk -v k="$k" '$1 == "demo" && $2 == k {n += $6} END {print n + 0}' "$work/answered")
  if [ "$k" -eq 1 ]; then recorded=$(grep -c '^V ' "$journal" || true); else recorded=$(grep -c "^W $k " "$journal" || true); fi
  printf '%10d  %8d  %20d  %7d\n' "$k" "$answered" "$cut" "$recorded"
  # Every answer to a poll sent before the last second is a reading; the last one may be too.
  { [ "$recorded" -ge $((answered - cut)) ] && [ "$recorded" -le "$answered" ]; } || bad=1
  total_answered=$((total_answered + answered - cut))
  total_recorded=$((total_recorded + recorded))
done
echo "published, distinct sequence numbers per instrument:"
total_published=0
for t in $(cut -d' ' -f1 "$work/published" | sort -u); do
  n=$(grep "^$t " "$work/published" | grep -o '"seq":[0-9]*' | sort -u | wc -l)
  printf '  %-40s %d\n' "$t" "$n"
  total_published=$((total_published + n))
done
echo "total: answered before the last second $total_answered, recorded $total_recorded, published $total_published"
[ "$total_recorded" = "$total_published" ] || bad=1
if [ "$bad" -ne 0 ]; then echo "MISMATCH"; exit 1; fi
echo "every answered reading recorded and published"
