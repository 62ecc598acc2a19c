#!/bin/bash
# The whole program recording sixteen instruments on pseudo-terminals (the real serial stack,
# not the in-process demo) at 120 readings a minute each, in a virtual display: its share of
# one core and its resident memory, read from /proc every minute over SECONDS (600 unless
# given), then the whole stretch's figures. Needs xvfb-run, xdotool and openbox.
#   bench/window_load.sh [BUILD_DIR] [SECONDS]
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
seconds=${2:-600}
work=$(mktemp -d)
sim=""
trap '[ -n "$sim" ] && kill $sim 2>/dev/null; rm -rf "$work"' EXIT
"$build"/tools/thermometer-sim/velmora-thermometer-sim --count 16 > "$work/ports" & sim=$!
while [ "$(wc -l < "$work/ports")" -lt 16 ]; do sleep 0.1; done
# The settings of a window that reads the sixteen at 120 a minute, in English.
{
  echo "[Velmora]"
  echo "Flow=120"
  echo "LangID=2"
  echo "Width=1600"
  echo "Height=900"
  echo "[Velmora/PortSettings]"
  echo "CommPort=$(sed -n 1p "$work/ports")"
  echo "[Velmora/Channels]"
  echo "Count=16"
  n=1
  while read -r p; do
    echo "Name$n=T$n"
    [ "$n" -gt 1 ] && echo "Port$n=$p"
    n=$((n + 1))
  done < "$work/ports"
} > "$work/Velmora.ini"
cat > "$work/run" <<EOF
#!/bin/bash
set -euo pipefail
openbox >/dev/null 2>&1 &
sleep 1
VELMORA_SETTINGS="$work/Velmora.ini" VELMORA_JOURNAL_DIR="$work" "$build/src/app/velmora" >/dev/null 2>&1 & app=\$!
window=\$(xdotool search --sync --onlyvisible --pid \$app | head -n 1)
sleep 5  # the instruments' factors are read first
xdotool windowactivate --sync "\$window"
xdotool key --clearmodifiers ctrl+r
sleep 5
hz=\$(getconf CLK_TCK)
ticks() { awk '{print \$14 + \$15}' /proc/\$app/stat; }
rss() { awk '/VmRSS/ {print \$2}' /proc/\$app/status; }
start=\$(ticks)
last=\$start
echo "minute  cpu_%_of_one_core  rss_kB"
for ((m = 1; m * 60 <= $seconds; m++)); do
  sleep 60
  now=\$(ticks)
  printf '%6d  %17.2f  %6d\n' \$m "\$(awk -v t=\$((now - last)) -v hz=\$hz 'BEGIN {print 100 * t / hz / 60}')" "\$(rss)"
  last=\$now
done
total=\$(awk -v t=\$((last - start)) -v hz=\$hz -v s=\$((m * 60 - 60)) 'BEGIN {printf "%.2f", 100 * t / hz / s}')
recorded=\$(ls "$work"/journal-*.txt >/dev/null 2>&1 && cat "$work"/journal-*.txt | grep -c '^[RVW] ' || echo 0)
echo "velmora, 16 instruments on pseudo-terminals x 120/min: \$total % of one core over \$((m * 60 - 60)) s," \
     "resident memory \$(rss) kB at the end, \$recorded readings in the recording journal"
kill \$app
EOF
chmod +x "$work/run"
xvfb-run -a -s "-screen 0 1920x1080x24" "$work/run"
