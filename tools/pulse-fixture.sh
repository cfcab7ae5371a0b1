#!/usr/bin/env bash
# A private PulseAudio server for the tests: a null sink as the speaker and a
# 440 Hz tone as the default microphone, in a runtime folder of its own, so
# recordings carry a real tone in real time on any machine.
#
# The microphone is the monitor of a second null sink into which module-sine
# plays the tone: module-sine-source would be the obvious choice, but it
# renders with a fixed latency of two seconds, so its sound comes in two-second
# bursts, nothing like a microphone. The monitor delivers in small pieces at
# the pace the client asks for, once the sink runs at a short latency: a
# quiet reader of the monitor keeps it there for the server's whole life (a
# null sink left alone renders in two-second blocks too). The sine source is
# loaded as well, as "tone".
#   pulse-fixture.sh start DIR    starts it (socket DIR/native) and waits until it answers
#   pulse-fixture.sh stop DIR     stops it
set -euo pipefail
action=$1
dir=$2

case "$action" in
start)
    mkdir -p "$dir"
    if [[ -f "$dir/pid" ]] && kill -0 "$(cat "$dir/pid")" 2>/dev/null; then
        exit 0
    fi
    XDG_RUNTIME_DIR="$dir" HOME="$dir" setsid pulseaudio --daemonize=no --exit-idle-time=-1 \
        --disable-shm=yes -n \
        --load="module-null-sink sink_name=silence" \
        --load="module-null-sink sink_name=microphone rate=44100 channels=2" \
        --load="module-sine sink=microphone frequency=440" \
        --load="module-sine-source source_name=tone frequency=440 rate=44100" \
        --load="module-native-protocol-unix socket=$dir/native auth-anonymous=1" \
        --log-target=file:"$dir/log" </dev/null >/dev/null 2>&1 &
    echo $! >"$dir/pid"
    for _ in $(seq 100); do
        if PULSE_SERVER="unix:$dir/native" pactl set-default-source microphone.monitor 2>/dev/null &&
            PULSE_SERVER="unix:$dir/native" pactl set-default-sink silence 2>/dev/null; then
            PULSE_SERVER="unix:$dir/native" setsid parec --latency-msec=10 -d microphone.monitor \
                </dev/null >/dev/null 2>&1 &
            echo $! >"$dir/keeper.pid"
            sleep 2.5  # the sink leaves its long block and runs at the short latency
            exit 0
        fi
        sleep 0.1
    done
    echo "the test sound server did not start; its log:" >&2
    cat "$dir/log" >&2 || true
    exit 1
    ;;
stop)
    for pidfile in "$dir/keeper.pid" "$dir/pid"; do
        if [[ -f "$pidfile" ]]; then
            kill "$(cat "$pidfile")" 2>/dev/null || true
            rm -f "$pidfile"
        fi
    done
    ;;
*)
    echo "usage: $0 start|stop DIR" >&2
    exit 2
    ;;
esac
