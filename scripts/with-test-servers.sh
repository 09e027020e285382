#!/usr/bin/env bash
# Runs a command with the servers the integration tests talk to, all private to this run:
# an X server (Xvfb), a D-Bus session bus, and a PulseAudio server whose null sink's monitor is
# remapped as a virtual microphone ("quonvera_mic"): what is played into the sink "quonvera_speaker"
# is what the microphone hears. Everything is stopped when the command ends.
set -euo pipefail

run_dir=$(mktemp -d /tmp/quonvera-servers.XXXXXX)
chmod 700 "$run_dir"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  [ -n "${PULSE_SERVER_STARTED:-}" ] && pulseaudio --kill 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$run_dir"
}
trap cleanup EXIT

export XDG_RUNTIME_DIR="$run_dir/runtime"
mkdir -m 700 -p "$XDG_RUNTIME_DIR"

# X server on a display number it picks itself, so parallel runs never share one.
exec {display_fd}<> <(:)
Xvfb -displayfd "$display_fd" -screen 0 1280x800x24 -nolisten tcp -noreset >"$run_dir/xvfb.log" 2>&1 &
pids+=($!)
read -r -t 20 display <&"$display_fd" || { echo "Xvfb did not start:"; cat "$run_dir/xvfb.log"; exit 1; }
exec {display_fd}>&-
export DISPLAY=":$display"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

# Session bus.
eval "$(dbus-launch --sh-syntax)"
pids+=("$DBUS_SESSION_BUS_PID")

# Sound server with a virtual microphone.
export PULSE_RUNTIME_PATH="$XDG_RUNTIME_DIR/pulse"
pulseaudio --daemonize=yes --exit-idle-time=-1 --disallow-exit --system=false \
  --log-target=file:"$run_dir/pulse.log" -n \
  --load="module-native-protocol-unix" \
  --load="module-null-sink sink_name=quonvera_speaker sink_properties=device.description=Quonvera_Speaker" \
  --load="module-remap-source master=quonvera_speaker.monitor source_name=quonvera_mic source_properties=device.description=Quonvera_Microphone" \
  --load="module-always-sink"
PULSE_SERVER_STARTED=1
for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl set-default-source quonvera_mic
pactl set-default-sink quonvera_speaker
# An idle null sink renders in blocks of up to two seconds; a low-latency stream of silence keeps
# it rendering in small blocks, as a sound card would.
pacat --playback --device=quonvera_speaker --raw --format=s16le --rate=16000 --channels=1 \
  --latency-msec=20 </dev/zero >/dev/null 2>&1 &
pids+=($!)

"$@"
