#!/usr/bin/env bash
# Takes a screenshot of the running console, beside the simulated rig, under a virtual X server
# and writes it as a PNG.
# Usage: scripts/screenshot.sh [output.png] [seconds] [operator script] [signal file]
# Without an operator script the shot is taken after the seconds (6 unless given). With one, the
# console runs the script (orvello --operator-script) and the shot is taken as soon as the signal
# file appears (the script's "touch" of that name, in the console's working folder), waiting at
# most the seconds. ORVELLO_RIG_SETS sets the rig's size (scripts/beside-rig.sh).
# Needs a built console and rig (scripts/run-console.sh, or `cmake --build --preset release
# --target orvello orvello-rig`); uses the release build when present, else the default one.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

out=${1:-docs/console.png}
wait_s=${2:-6}
operator_script=${3:-}
signal_file=${4:-}
if [ -n "$operator_script" ] && [ -z "$signal_file" ]; then
    echo "screenshot: an operator script needs a signal file" >&2
    exit 2
fi
case "$operator_script" in "" | /*) ;; *) operator_script="$root/$operator_script" ;; esac
case "$out" in /*) ;; *) out="$root/$out" ;; esac
mkdir -p "$(dirname "$out")"

program=""
for build in build/release build/default; do
    if [ -x "$build/apps/orvello" ] && [ -x "$build/apps/orvello-rig" ]; then
        program="$root/$build/apps/orvello"
        rig="$root/$build/apps/orvello-rig"
        break
    fi
done
if [ -z "$program" ]; then
    echo "screenshot: no built console; run scripts/run-console.sh or build the target orvello" >&2
    exit 1
fi

workdir=$(mktemp -d)
trap 'rm -rf "$workdir"' EXIT

# Picks a free display number rather than failing on one in use.
display_number=99
while [ -e "/tmp/.X11-unix/X${display_number}" ] || [ -e "/tmp/.X${display_number}-lock" ]; do
    display_number=$((display_number + 1))
done
export DISPLAY=":${display_number}"

Xvfb "$DISPLAY" -screen 0 1280x800x24 -nolisten tcp >"$workdir/xvfb.log" 2>&1 &
xvfb_pid=$!
console_pid=""
cleanup() {
    if [ -n "$console_pid" ]; then kill "$console_pid" 2>/dev/null || true; wait "$console_pid" 2>/dev/null || true; fi
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    rm -rf "$workdir"
}
trap cleanup EXIT

for _ in $(seq 50); do
    if xdpyinfo >/dev/null 2>&1 || [ -e "/tmp/.X11-unix/X${display_number}" ]; then break; fi
    sleep 0.1
done

export QT_QPA_PLATFORM=xcb
export XDG_RUNTIME_DIR="$workdir/runtime"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
export QT_QPA_FONTDIR=/usr/share/fonts/truetype/dejavu
mkdir -p "$workdir/run"
arguments=()
if [ -n "$operator_script" ]; then
    signal_file="$workdir/run/$signal_file"
    arguments=(--operator-script "$operator_script")
fi
unset ORVELLO_PORT_DIR
(cd "$workdir/run" && exec bash "$root/scripts/beside-rig.sh" "$rig" "$program" "${arguments[@]}") \
    >"$workdir/console.log" 2>&1 &
console_pid=$!

if [ -n "$operator_script" ]; then
    for ((i = 0; i < wait_s * 10; i++)); do
        [ -e "$signal_file" ] && break
        kill -0 "$console_pid" 2>/dev/null || break
        sleep 0.1
    done
    if [ ! -e "$signal_file" ]; then
        echo "screenshot: the operator script gave no signal within $wait_s s:" >&2
        cat "$workdir/console.log" >&2
        exit 1
    fi
    rm -f "$signal_file"
else
    sleep "$wait_s"
fi
if ! kill -0 "$console_pid" 2>/dev/null; then
    echo "screenshot: the console ended early:" >&2
    cat "$workdir/console.log" >&2
    exit 1
fi
import -window root "$out"
echo "screenshot: $out"
