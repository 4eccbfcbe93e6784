#!/usr/bin/env bash
# Runs a command (the console) beside the simulated rig and stops the rig when the command ends,
# however it ends.
# Usage: scripts/beside-rig.sh RIG_PROGRAM COMMAND [ARGUMENTS...]
#
# The rig (one instrument set: MFC A, MFC B and a pump on COM3, COM4 and COM5) is published in
# the console's port folder: $ORVELLO_PORT_DIR when set, else $XDG_RUNTIME_DIR/orvello-rig, else
# /tmp/orvello-rig-<uid>. With ORVELLO_RIG_JOURNAL set, the rig writes every command line its
# instruments receive to that file. ORVELLO_RIG_SETS asks for more instrument sets (a bigger rig,
# its ports numbered on from COM3).
#
# The rig reads its standard input from this script and stops when that input ends, so it goes
# even when this script is killed outright. Both run in sessions of their own, out of reach of
# the terminal's signals: SIGINT, SIGTERM and SIGHUP to this script close the command first
# (SIGTERM, which the console takes as a close of its window) and then stop the rig, so the
# instruments are brought to a safe state while the rig still answers. The exit code is the
# command's.
set -euo pipefail

if [ "$#" -lt 2 ]; then
    echo "usage: $0 RIG_PROGRAM COMMAND [ARGUMENTS...]" >&2
    exit 2
fi
rig_program=$1
shift

if [ -n "${ORVELLO_PORT_DIR:-}" ]; then
    port_dir=$ORVELLO_PORT_DIR
elif [ -n "${XDG_RUNTIME_DIR:-}" ]; then
    port_dir=$XDG_RUNTIME_DIR/orvello-rig
else
    port_dir=/tmp/orvello-rig-$(id -u)
fi
# The console must read the very folder the rig serves.
export ORVELLO_PORT_DIR=$port_dir

say() { echo "beside-rig: $*" >&2 || true; }

work=$(mktemp -d "${TMPDIR:-/tmp}/orvello-rig-run.XXXXXX")
rig_pid=""
command_pid=""

# True while the process runs; a child that ended but was not reaped yet counts as ended.
alive() {
    local stat
    stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
    stat=${stat##*) }
    [[ $stat != Z* ]]
}

# Waits up to $2 seconds for process $1 to end; false when it still runs.
await() {
    local i
    for ((i = 0; i < $2 * 10; i++)); do
        alive "$1" || return 0
        sleep 0.1
    done
    ! alive "$1"
}

stop_rig() {
    [ -n "$rig_pid" ] || return 0
    # The end of its input stops the rig; signals only when it does not go.
    exec 3>&- 2>/dev/null || true
    if ! await "$rig_pid" 10; then
        kill -TERM "$rig_pid" 2>/dev/null || true
        await "$rig_pid" 10 || kill -KILL "$rig_pid" 2>/dev/null || true
    fi
    wait "$rig_pid" 2>/dev/null || true
    rig_pid=""
}

on_exit() {
    stop_rig
    rm -rf "$work"
}
trap on_exit EXIT

on_signal() {
    trap '' INT TERM HUP
    if [ -n "$command_pid" ] && alive "$command_pid"; then
        say "$1: closing the console"
        kill -TERM "$command_pid" 2>/dev/null || true
        # The console's close waits up to 20 s for its workers; then it is ended outright.
        if ! await "$command_pid" 60; then
            say "the console did not close within 60 s; ending it"
            kill -KILL "$command_pid" 2>/dev/null || true
        fi
        wait "$command_pid" 2>/dev/null || true
    fi
    stop_rig
    exit "$2"
}
trap 'on_signal SIGINT 130' INT
trap 'on_signal SIGTERM 143' TERM
trap 'on_signal SIGHUP 129' HUP

rig_arguments=(--port-dir "$port_dir" --sets "${ORVELLO_RIG_SETS:-1}" --stop-on-eof)
if [ -n "${ORVELLO_RIG_JOURNAL:-}" ]; then rig_arguments+=(--journal "$ORVELLO_RIG_JOURNAL"); fi

mkfifo "$work/rig-input"
setsid "$rig_program" "${rig_arguments[@]}" <"$work/rig-input" >"$work/rig-output" 2>"$work/rig-errors" &
rig_pid=$!
# Held by this script alone: when the script ends, the rig's input ends.
exec 3>"$work/rig-input"

ready=false
for ((i = 0; i < 300; i++)); do
    if grep -qx ready "$work/rig-output" 2>/dev/null; then
        ready=true
        break
    fi
    alive "$rig_pid" || break
    sleep 0.1
done
if ! $ready; then
    say "the simulated rig did not start:"
    cat "$work/rig-errors" >&2 || true
    if grep -q "served by another running rig" "$work/rig-errors"; then
        say "is the console already open from another run? Close it first, or set" \
            "ORVELLO_PORT_DIR to a folder of your own for this one."
    fi
    exit 1
fi
say "the simulated rig serves $(grep -c '^COM' "$work/rig-output") ports in $port_dir"

setsid "$@" 3>&- &
command_pid=$!
status=0
wait "$command_pid" || status=$?
command_pid=""
stop_rig
exit "$status"
