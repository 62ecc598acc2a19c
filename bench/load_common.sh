# Shared by the load scripts (sourced): arguments BUILD_DIR SECONDS STRESS_WORKERS, a work
# folder removed at the end with every process started, and a local mosquitto on a free port
# with an independent subscriber writing what it gets for STATION to $work/published.
#   load_setup STATION "$@"
load_setup() {
  local station=$1
  shift
  build=$(cd "${1:-build}" && pwd)
  seconds=${2:-600}
  workers=${3:-4}
  work=$(mktemp -d)
  pids=()
  trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"' EXIT
  port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  printf 'listener %s 127.0.0.1\nallow_anonymous true\n' "$port" > "$work/mosquitto.conf"
  mosquitto -c "$work/mosquitto.conf" > /dev/null 2>&1 & pids+=($!)
  sleep 1
  mosquitto_sub -h 127.0.0.1 -p "$port" -q 1 -t "velmora/v1/$station/+/reading" -F '%t %p' > "$work/published" & sub=$!
  pids+=($sub)
}
