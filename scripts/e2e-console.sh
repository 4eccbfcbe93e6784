#!/usr/bin/env bash
# End to end under a virtual X server: the README's run command (scripts/run-console.sh) opens
# the console beside the simulated rig, and an operator script searches the devices, configures
# MFC A, applies a setpoint and closes the window. Then the rig's journal must show the setpoint
# and after it the zero for MFC A, no console or rig of this run may be left, and no port link in
# the rig's folder. Runs in a private runtime folder, so a console the user has open is not
# disturbed. Bounds are generous: it must hold on a busy two-core machine.
set -euo pipefail
cd "$(dirname "$0")/.."


work=$(mktemp -d "${TMPDIR:-/tmp}/orvello-e2e.XXXXXX")
runtime=$work/runtime
mkdir -p "$runtime" && chmod 700 "$runtime"
journal=$work/journal.txt
script=$work/operator-script.txt
output=$work/console.log

display_number=99
while [ -e "/tmp/.X11-unix/X${display_number}" ] || [ -e "/tmp/.X${display_number}-lock" ]; do
    display_number=$((display_number + 1))
done
Xvfb ":${display_number}" -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
cleanup() {
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
for _ in $(seq 100); do
    [ -e "/tmp/.X11-unix/X${display_number}" ] && break
    sleep 0.1
done

fail() {
    echo "e2e-console: FAILED: $*" >&2
    echo "--- console and rig output:" >&2
    cat "$output" >&2 || true
    echo "--- rig journal (last lines):" >&2
    tail -n 40 "$journal" >&2 || true
    exit 1
}

# 40 % of full scale is 25600 counts on the wire. The controller's worker initialises it for some
# seconds after "Apply configuration" and then delivers its first status, which the log pane's
# "Device ready" line reports. The engine puts the setpoint into the worker's request with that
# first status, and the worker sends it in its next loop, a second or so later: the short wait
# after the line covers that loop with a wide margin.
cat >"$script" <<'EOF'
trigger Searchdevices1
wait-log "Finished searching devices" 300
select-row COM3
choose ComboBoxDeviceFluid N2
click ButtonApplyConfiguration
type RtDoubleEditDirectControlDesiredFlow 40
click ButtonApplyFlow
wait-log "Device ready: COM3 - " 300
wait 10
close
EOF

status=0
env -u ORVELLO_PORT_DIR DISPLAY=":${display_number}" QT_QPA_PLATFORM=xcb \
    XDG_RUNTIME_DIR="$runtime" XDG_STATE_HOME="$work/state" ORVELLO_RIG_JOURNAL="$journal" \
    QT_QPA_FONTDIR=/usr/share/fonts/truetype/dejavu \
    timeout -k 30 900 bash scripts/run-console.sh --operator-script "$script" \
    >"$output" 2>&1 || status=$?
[ "$status" -eq 0 ] || fail "the run command ended with code $status"

# The setpoint reached MFC A, and the close's zero came after it.
setpoint_line=$(grep -n ' COM3 A25600\\r$' "$journal" | head -n 1 | cut -d: -f1 || true)
[ -n "$setpoint_line" ] || fail "MFC A never received the setpoint A25600"
tail -n "+$setpoint_line" "$journal" | grep -q ' COM3 A0\\r$' ||
    fail "MFC A did not receive the zero after the setpoint"

# Nothing of this run is left: every process that carries its runtime folder has ended.
left=""
for environment in /proc/[0-9]*/environ; do
    if { tr '\0' '\n' <"$environment"; } 2>/dev/null | grep -qx "XDG_RUNTIME_DIR=$runtime"; then
        pid=${environment#/proc/}
        pid=${pid%/environ}
        left+=" $pid:$({ tr '\0' ' ' <"/proc/$pid/cmdline"; } 2>/dev/null || true)"
    fi
done
[ -z "$left" ] || fail "processes of this run are left:$left"

# The run ended cleanly, and its record says so: the next start has nothing to stop.
record=$(find "$work/state/orvello" -maxdepth 1 -name 'run-*.record' 2>/dev/null | head -n 1)
[ -n "$record" ] || fail "the console kept no run record"
grep -qx "end-of-run clean" "$record" || fail "the run record is not marked clean: $(cat "$record")"

links=$(find "$runtime/orvello-rig" -maxdepth 1 -name 'COM*' 2>/dev/null || true)
[ -z "$links" ] || fail "port links are left in the rig's folder: $links"

echo "e2e-console: passed (setpoint and zero in the journal, a clean run record, nothing left behind)"
