#!/usr/bin/env bash
# Runs the window as a new user would meet it, headless: Xvfb, a private PulseAudio (null sink
# "velmo" at 48000 Hz, debug log with the server's underrun lines) and the window, then runs
# live_check.py with the given arguments and reports the server's underruns of the window's
# stream.
#   live-session.sh VELMO_BINARY live_check.py-ARGS...
# BUSY_SECONDS=N keeps two busy loops (nice 0) running for the last N seconds of the check
# (SOAK_SECONDS: the check's length).
# KEEP=DIR keeps the server log there.
# START_SECONDS=N waits N seconds (default 3) for the window's stream, e.g. under a profiler.
set -euo pipefail
velmo="$1"
shift
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  [ -n "${KEEP:-}" ] && cp "$work/pulse.log" "$work/pulse.start" "$work/stalls.txt" "$work/counted.log" "$KEEP/" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/run" && chmod 700 "$work/run"
export XDG_RUNTIME_DIR="$work/run" HOME="$work" DISPLAY=":$((90 + RANDOM % 100))"
Xvfb "$DISPLAY" -screen 0 1024x768x24 > /dev/null 2>&1 &
pids+=($!)
python3 -c 'import time; print("%.3f" % time.monotonic())' > "$work/pulse.start"
# The server's own log file stops at 64 KiB: its standard error is the log instead.
# RT_SERVER=1 runs every thread of the server at real-time priority, its main thread included
# (by itself the server raises only its sink thread).
server=()
[ -n "${RT_SERVER:-}" ] && server=(chrt -r 5)
"${server[@]}" pulseaudio -n --daemonize=no --exit-idle-time=-1 -vvvv --log-time=1 --log-target=stderr \
  -L "module-native-protocol-unix socket=$work/native auth-anonymous=1" \
  -L "module-null-sink sink_name=velmo rate=48000" -L module-always-sink 2> "$work/pulse.log" &
pids+=($!)
export PULSE_SERVER="unix:$work/native" SDL_AUDIODRIVER=pulseaudio PULSE_SINK=velmo
for _ in $(seq 50); do pactl info > /dev/null 2>&1 && break; sleep 0.1; done
"$velmo" > "$work/velmo.log" 2>&1 &
velmo_pid=$!
pids+=("$velmo_pid")
export VELMO_PID="$velmo_pid"
sleep "${START_SECONDS:-3}"
# The server logs this client's connection: its time in the log against the clock here.
python3 -c 'import time; print("%.3f" % time.monotonic())' >> "$work/pulse.start"
pactl list sink-inputs | grep -E "Buffer Latency|Sink Latency" | sed 's/^\s*/stream: /'
start_line=$(wc -l < "$work/pulse.log")
if [ -n "${BUSY_SECONDS:-}" ]; then
  total="${SOAK_SECONDS:-0}"
  (sleep $((total > BUSY_SECONDS ? total - BUSY_SECONDS : 0)) && for _ in 1 2; do
    timeout "$BUSY_SECONDS" nice -n 0 sh -c 'while :; do :; done' & done; wait) &
  pids+=($!)
fi
# Real-time probes, one on each processor, tell the machine's stalls (a processor that runs
# nothing at all, say a virtual one held by its host) from stalls of the window.
for cpu in $(seq 0 $(($(nproc) - 1))); do
  taskset -c "$cpu" chrt -f 50 /usr/bin/python3 "$here/stall_probe.py" 100000 \
    > "$work/stalls.$cpu.txt" 2>/dev/null &
  pids+=($!)
done
uptime
/usr/bin/python3 "$here/live_check.py" "$@"
uptime
# "Implicit/Actual underrun of": the server found the window's stream empty when the sink read
# it. Only the lines of the check itself count: the start-up ones and those of the end are left out.
tail -n +"$start_line" "$work/pulse.log" > "$work/check.log"
head -n "$start_line" "$work/pulse.log" | grep -E "Created|Freed" > "$work/created.log" || true
cat "$work/created.log" "$work/check.log" > "$work/counted.log"
cat "$work"/stalls.*.txt > "$work/stalls.txt"
/usr/bin/python3 "$here/live_check.py" underruns "$work/counted.log" "$work/pulse.start" \
  "$work/stalls.txt"
