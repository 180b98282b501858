#!/usr/bin/env bash
# Plays and records through a real sound server: a private PulseAudio with a 48000 Hz null sink.
#   check-null-sink.sh VELMO_PLAY FILE.wav...
# 1. For each FILE (48000 Hz, so nothing resamples): velmo-play plays it through SDL into the
#    null sink while parecord records the sink's monitor; the recording must hold the file's
#    samples exactly (compare-recording.py).
#    (PULSE_LATENCY_MSEC gives the playing streams a quarter second of buffer, so a busy
#    machine does not underrun.)
# 2. paplay plays the first FILE into the sink while `velmo-play --record` records the monitor
#    source; the recorded file must hold what paplay played.
set -euo pipefail
player="$1"
shift
here="$(cd "$(dirname "$0")" && pwd)"
work="$(mktemp -d)"
server_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/run"
XDG_RUNTIME_DIR="$work/run" HOME="$work" pulseaudio -n --daemonize=no --exit-idle-time=-1 \
  --log-target=file:"$work/pulse.log" \
  -L "module-native-protocol-unix socket=$work/native auth-anonymous=1" \
  -L "module-null-sink sink_name=velmo rate=48000" -L module-always-sink &
server_pid=$!
# A quarter second of server-side buffer: on a busy machine a shorter one underruns, and the
# server fills the gaps with silence.
export PULSE_SERVER="unix:$work/native" SDL_AUDIODRIVER=pulseaudio PULSE_SINK=velmo
latency=(env PULSE_LATENCY_MSEC=250)
# On a busy machine the sound programs need the CPU on time; root may give it to them.
boost=()
if [ "$(id -u)" -eq 0 ]; then boost=(nice -n -10); fi
for _ in $(seq 50); do pactl info > /dev/null 2>&1 && break; sleep 0.1; done

status=0
for file in "$@"; do
  "${boost[@]}" parecord --raw --format=s16le --rate=48000 --channels=2 -d velmo.monitor "$work/monitor.raw" &
  recorder=$!
  sleep 1.5  # until the recording stream runs, on a busy machine too
  "${boost[@]}" "${latency[@]}" "$player" -q "$file"
  sleep 1
  kill -INT "$recorder"
  wait "$recorder" || true
  echo "recorded $(stat -c %s "$work/monitor.raw") bytes"
  python3 "$here/compare-recording.py" "$file" "$work/monitor.raw" || status=1
done

echo "recording what paplay plays into the sink:"
# The recording side keeps the default latency: SDL capture with a quarter-second fragment
# loses sound (seen with SDL 2.26 on PulseAudio 16).
PULSE_SOURCE=velmo.monitor "${boost[@]}" "$player" -q --record 5 --rate 48000 -o "$work/recorded.wav" &
recorder=$!
sleep 2  # until the recording runs
# paplay is only the signal source here: a full second of buffer keeps it from underrunning.
"${boost[@]}" env PULSE_LATENCY_MSEC=1000 paplay -d velmo "$1"
wait "$recorder"
raw="$work/recorded.raw"
sox "$work/recorded.wav" -t raw "$raw"
python3 "$here/compare-recording.py" "$1" "$raw" || status=1
exit "$status"
