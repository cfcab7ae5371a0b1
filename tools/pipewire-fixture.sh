#!/usr/bin/env bash
# A private PipeWire daemon for the tests, in a runtime folder of its own, so
# the virtual camera's PipeWire node is tested on any machine, next to or
# without the desktop's own PipeWire. There is no session manager: the tests
# link the nodes they need themselves with pw-link.
#   pipewire-fixture.sh start DIR    starts it (socket DIR/pipewire-0) and waits until it answers
#   pipewire-fixture.sh stop DIR     stops it
set -euo pipefail
action=$1
dir=$2

case "$action" in
start)
    mkdir -p "$dir"
    chmod 700 "$dir"
    if [[ -f "$dir/pid" ]] && kill -0 "$(cat "$dir/pid")" 2>/dev/null; then
        exit 0
    fi
    rm -f "$dir/pipewire-0" "$dir/pipewire-0.lock"
    # No session bus: the daemon's D-Bus modules give up at once instead of
    # reaching the desktop's bus.
    XDG_RUNTIME_DIR="$dir" PIPEWIRE_RUNTIME_DIR="$dir" DBUS_SESSION_BUS_ADDRESS=disabled: \
        setsid pipewire </dev/null >"$dir/log" 2>&1 &
    echo $! >"$dir/pid"
    for _ in $(seq 100); do
        if PIPEWIRE_RUNTIME_DIR="$dir" pw-cli info 0 >/dev/null 2>&1; then
            exit 0
        fi
        sleep 0.1
    done
    echo "the test PipeWire daemon did not start; its log:" >&2
    cat "$dir/log" >&2 || true
    exit 1
    ;;
stop)
    if [[ -f "$dir/pid" ]]; then
        kill "$(cat "$dir/pid")" 2>/dev/null || true
        rm -f "$dir/pid"
    fi
    ;;
*)
    echo "usage: $0 start|stop DIR" >&2
    exit 2
    ;;
esac
