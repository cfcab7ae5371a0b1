#!/bin/bash
# The whole job as a user runs it: Lumora under Xvfb plays a looping
# 640 x 480 H.264 file with a beautify preset, a pendant and a scrolling
# caption on, a reader takes every virtual camera picture (lumora-vcam
# --output - into /dev/null), and then it records for 60 s. Reports CPU as a
# fraction of one core over 45 steady seconds without and with the
# recording, peak resident memory, and the time from start to the first
# picture in the preview and on the virtual camera.
# Usage: bench/whole_job.sh BUILD_FOLDER
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
bin="$build/bin"
work=$(mktemp -d /tmp/lumora-whole-job-XXXXXX)
trap 'kill $(jobs -p) 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/config" XDG_CACHE_HOME="$work/home/cache"
export XDG_RUNTIME_DIR="$work/run" LUMORA_CRASH_REPORTER=""
mkdir -p "$HOME" "$XDG_CONFIG_HOME/LumoraBox" && mkdir -m 700 "$XDG_RUNTIME_DIR"

clip="$work/clip.mp4"
ffmpeg -v error -y -f lavfi -i testsrc2=s=640x480:r=25:d=20 -f lavfi -i sine=f=440:d=20 \
    -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -shortest "$clip"

# The choices a user would have made: 深度美白, the crown, a caption
# scrolling to the left, the clip in the list, played in list order.
cat > "$XDG_CONFIG_HOME/LumoraBox/Lumora.conf" <<CONF
[General]
effect_0=1
effect_1=259
effect_2="bopen:1;clrBk:4278255615;clrText:4278255360;direct:2;offset:0;point:20;pos:1;speed:30;szFont:Noto Sans CJK SC;szText:直播测试;useBk:1;"
effect_5="playseq:1;"
Videos=$clip
CONF

bash "$build/../tools/pulse-fixture.sh" start "$work/pulse" >/dev/null
export PULSE_SERVER="unix:$work/pulse/native"
Xvfb :93 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
export DISPLAY=:93
sleep 1

cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
peak_kb() { awk '/VmHWM/ {print $2}' "/proc/$1/status"; }
now_ms() { date +%s%3N; }

started=$(now_ms)
"$bin/lumora" >"$work/lumora.log" 2>&1 &
lumora=$!
# Polled every 20 ms: xdotool's own --sync waits in half-second steps.
window=""
for _ in $(seq 1000); do
    window=$(xdotool search --onlyvisible --name Lumora 2>/dev/null | head -n1) || true
    [ -n "$window" ] && break
    sleep 0.02
done
shown=$(now_ms)
# The first virtual camera picture: the reader's first bytes.
first_vcam=$( { "$bin/lumora-vcam" --output - --format bgr24 | head -c 921600 >/dev/null; now_ms; } )
"$bin/lumora-vcam" --output - --format bgr24 >/dev/null &
sleep 2

click() { xdotool mousemove --window "$window" "$1" "$2" click 1; sleep 1; }
click 815 78    # the video tab
click 928 616   # 播放
sleep 15
hz=$(getconf CLK_TCK)
# Anonymous memory: what the process allocated itself. The rest of the
# resident figure is pages of shared libraries and fonts read from disk,
# which the kernel can drop and read again.
anonymous_kb() { awk '/^Anonymous:/ {print $2}' "/proc/$1/smaps_rollup"; }
peak_anonymous=0
measure() {
    local before after now
    before=$(cpu_ticks "$lumora")
    for _ in $(seq 9); do
        sleep 5
        now=$(anonymous_kb "$lumora")
        [ "$now" -gt "$peak_anonymous" ] && peak_anonymous=$now
    done
    after=$(cpu_ticks "$lumora")
    echo "scale=3; ($after - $before) / $hz / 45" | bc
}
measure >"$work/playing"
playing=$(cat "$work/playing")
click 939 78    # the record tab
click 728 135   # 开始录制
sleep 15
measure >"$work/recording"
recording=$(cat "$work/recording")
click 728 135   # 停止录制
peak=$(peak_kb "$lumora")
kill -TERM "$lumora"
wait "$lumora" || true
bash "$build/../tools/pulse-fixture.sh" stop "$work/pulse" >/dev/null || true

echo "whole job: window shown after $((shown - started)) ms (preview running)"
echo "whole job: first virtual camera picture after $((first_vcam - started)) ms"
echo "whole job: CPU of one core, playing with effects and the virtual camera: $playing"
echo "whole job: CPU of one core, the same while recording: $recording"
echo "whole job: peak resident memory $((peak / 1024)) MB"
echo "whole job: peak anonymous memory $((peak_anonymous / 1024)) MB (sampled every 5 s)"
