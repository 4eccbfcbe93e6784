#!/usr/bin/env bash
# Takes a screenshot of the running console under a virtual X server and writes it as a PNG.
# Usage: scripts/screenshot.sh [output.png] [seconds to wait before the shot]
# Needs a built console (scripts/run-console.sh or `cmake --build --preset release --target
# orvello`); uses the release build when present, else the default one.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

out=${1:-docs/console.png}
wait_s=${2:-6}
case "$out" in /*) ;; *) out="$root/$out" ;; esac
mkdir -p "$(dirname "$out")"

program=""
for candidate in build/release/apps/orvello build/default/apps/orvello; do
    if [ -x "$candidate" ]; then program="$root/$candidate"; break; fi
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
(cd "$workdir/run" && exec "$program") >"$workdir/console.log" 2>&1 &
console_pid=$!

sleep "$wait_s"
if ! kill -0 "$console_pid" 2>/dev/null; then
    echo "screenshot: the console ended early:" >&2
    cat "$workdir/console.log" >&2
    exit 1
fi
import -window root "$out"
echo "screenshot: $out"
