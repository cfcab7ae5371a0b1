#!/bin/bash
# The whole job as a user runs it, at one output mode: Lumora under Xvfb plays
# a looping H.264 file of the mode's size and rate (with sound) with 深度美白,
# the crown and a scrolling caption on, a reader takes every virtual camera
# picture (lumora-vcam --output - into /dev/null), and then it records for
# 60 s. Beside it, in the same run, ffmpeg does the same composition (decode,
# fps, eq and curves, the crown overlaid, a caption scrolling on a band) once
# into raw frames and once into H.264 and AAC in FLV with the recorder's own
# settings, and decodes the file alone.
#
# Reports, as fractions of one core: Lumora with its reader while playing and
# while recording, and ffmpeg's CPU time per second of picture for each
# command, with the ratios between them; peak resident and peak anonymous
# memory; the graph's ticks and missed tick slots during the recording; and
# the time from start to the first picture in the preview and on the virtual
# camera.
# With "blur" after the mode, 背景虚化 (medium) is on as well.
# Usage: bench/whole_job.sh BUILD_FOLDER [standard|720p|1080p] [blur]
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
mode=${2:-standard}
extra=${3:-}
background=""
case "$extra" in
"") ;;
blur) background=$'background_mode=blur\nbackground_strength=medium' ;;
*) echo "unknown choice $extra: blur or nothing" >&2 && exit 2 ;;
esac
case "$mode" in
standard) width=640 height=480 fps=15 bitrate=2048 ;;
720p) width=1280 height=720 fps=30 bitrate=4096 ;;
1080p) width=1920 height=1080 fps=30 bitrate=6144 ;;
*) echo "unknown mode $mode: standard, 720p or 1080p" >&2 && exit 2 ;;
esac
bin="$build/bin"
source_dir="$build/.."
work=$(mktemp -d /tmp/lumora-whole-job-XXXXXX)
# Whatever ends the script, nothing it started stays behind: a sound server
# left running (its test tone included) would load the next run.
cleanup() {
    kill $(jobs -p) 2>/dev/null || true
    wait 2>/dev/null || true
    bash "$source_dir/tools/pulse-fixture.sh" stop "$work/pulse" >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/config" XDG_CACHE_HOME="$work/home/cache"
export XDG_RUNTIME_DIR="$work/run" LUMORA_CRASH_REPORTER=""
mkdir -p "$HOME" "$XDG_CONFIG_HOME/LumoraBox" && mkdir -m 700 "$XDG_RUNTIME_DIR"

# Its sound is stereo, as a film's is and as the recorder writes it, so
# ffmpeg's FLV command encodes as much sound as Lumora's recording does.
clip="$work/clip.mp4"
ffmpeg -v error -y -f lavfi -i "testsrc2=s=${width}x${height}:r=$fps:d=20" \
    -f lavfi -i sine=f=440:d=20 \
    -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac -ac 2 -shortest "$clip"

# The choices a user would have made: the mode, 深度美白, the crown, a
# caption scrolling to the left, the clip in the list, played in list order.
cat >"$XDG_CONFIG_HOME/LumoraBox/Lumora.conf" <<CONF
[General]
output_mode=${width}x${height}@${fps}
effect_0=1
effect_1=259
effect_2="bopen:1;clrBk:4278255615;clrText:4278255360;direct:2;offset:0;point:20;pos:1;speed:30;szFont:Noto Sans CJK SC;szText:直播测试;useBk:1;"
effect_5="playseq:1;"
Videos=$clip
$background
CONF

bash "$source_dir/tools/pulse-fixture.sh" start "$work/pulse" >/dev/null
export PULSE_SERVER="unix:$work/pulse/native"
Xvfb :93 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
export DISPLAY=:93
sleep 1

cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
peak_kb() { awk '/VmHWM/ {print $2}' "/proc/$1/status"; }
now_ms() { date +%s%3N; }
hz=$(getconf CLK_TCK)

started=$(now_ms)
# In its own folder with cores allowed, so a crash at exit leaves its core.
(cd "$work" && ulimit -c unlimited && exec "$bin/lumora") >"$work/lumora.log" 2>&1 &
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
first_vcam=$( {
    "$bin/lumora-vcam" --output - --format bgr24 | head -c $((width * height * 3)) >/dev/null
    now_ms
})
"$bin/lumora-vcam" --output - --format bgr24 >/dev/null &
reader=$!
sleep 2

click() {
    xdotool mousemove --window "$window" "$1" "$2" click 1
    sleep 1
}
click 789 78  # the video tab
click 928 616 # 播放
sleep 15
# Anonymous memory: what the process allocated itself. The rest of the
# resident figure is pages of shared libraries and fonts read from disk,
# which the kernel can drop and read again.
anonymous_kb() { awk '/^Anonymous:/ {print $2}' "/proc/$1/smaps_rollup"; }
peak_anonymous=0
# Lumora's and its reader's CPU over SECONDS, as a fraction of one core,
# sampling anonymous memory every 5 s.
measure() {
    local seconds=$1 before after now
    before=$(($(cpu_ticks "$lumora") + $(cpu_ticks "$reader")))
    for _ in $(seq $((seconds / 5))); do
        sleep 5
        now=$(anonymous_kb "$lumora")
        [ "$now" -gt "$peak_anonymous" ] && peak_anonymous=$now
    done
    after=$(($(cpu_ticks "$lumora") + $(cpu_ticks "$reader")))
    echo "scale=3; ($after - $before) / $hz / $seconds" | bc
}
measure 45 >"$work/playing"
playing=$(cat "$work/playing")
click 891 78  # the record tab
click 728 135 # 开始录制
measure 60 >"$work/recording"
recording=$(cat "$work/recording")
click 728 135 # 停止录制
sleep 2
peak=$(peak_kb "$lumora")
kill -TERM "$lumora" "$reader"
exit_status=0
wait "$lumora" || exit_status=$?
if [ "$exit_status" -ne 0 ] && [ -f "$work/core" ]; then
    mv "$work/core" "/tmp/lumora-whole-job-$mode.core"
fi
bash "$source_dir/tools/pulse-fixture.sh" stop "$work/pulse" >/dev/null || true
cp "$work/lumora.log" "/tmp/lumora-whole-job-$mode.log"
# The graph's counts logged at the recording's start and stop.
ticks_at() { sed -n "s/.*recording $1 at graph tick \([0-9]*\), \([0-9]*\) tick.*/\1 \2/p" "$work/lumora.log" | tail -n1; }
read -r start_tick start_missed <<<"$(ticks_at started)"
read -r stop_tick stop_missed <<<"$(ticks_at stopped)"

# The same composition by ffmpeg, over 60 s of picture, as fast as it goes:
# CPU seconds per second of picture is its share of one core in real time.
font=$(fc-match -f '%{file}' 'Noto Sans CJK SC')
point=$((20 * height / 480))
band=$((point * 2))
speed=$((30 * height / 480))
compose="[0:v]fps=$fps,eq=brightness=0.04:saturation=1.05,curves=all='0/0 0.5/0.6 1/1'[beautified];\
[1:v]scale=-1:$height[crown];[beautified][crown]overlay=x=(W-w)/2:y=0:shortest=0[crowned];\
[crowned]drawbox=x=0:y=ih-$band:w=iw:h=$band:color=yellow@0.5:t=fill,\
drawtext=fontfile=$font:text=直播测试:fontsize=$point:fontcolor=green:\
x=w-mod(t*$speed*$fps\,w+tw):y=h-$band+($band-th)/2[out]"
crown="$source_dir/skin/effect/挂件/皇冠.gif"
# One run of a command moves by a fifth between runs on a shared machine;
# the middle of three is steadier.
ffmpeg_cpu() {
    local TIMEFORMAT='%3U %3S' times
    for _ in 1 2 3; do
        { time ffmpeg -v error -nostdin -y "$@" >/dev/null 2>&1; } 2>&1
    done | awk '{print ($1 + $2) / 60}' | sort -n | sed -n 2p | xargs printf "%.3f"
}
inputs=(-stream_loop -1 -i "$clip" -ignore_loop 0 -i "$crown")
ffmpeg_raw=$(ffmpeg_cpu "${inputs[@]}" -filter_complex "$compose" -map '[out]' -t 60 \
    -pix_fmt bgr24 -f rawvideo /dev/null)
ffmpeg_flv=$(ffmpeg_cpu "${inputs[@]}" -filter_complex "$compose" -map '[out]' -map 0:a -t 60 \
    -c:v libx264 -preset ultrafast -tune zerolatency -b:v "${bitrate}k" -g $((2 * fps)) \
    -pix_fmt yuv420p -c:a aac -b:a 128k -f flv /dev/null)
ffmpeg_decode=$(ffmpeg_cpu -stream_loop -1 -i "$clip" -t 60 -f null /dev/null)

ratio() { echo "scale=2; $1 / $2" | bc; }
echo "whole job at ${width}x${height} ${fps} fps ($mode${extra:+, $extra}), load before: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "whole job: window shown after $((shown - started)) ms (preview running)"
echo "whole job: first virtual camera picture after $((first_vcam - started)) ms"
echo "whole job: CPU of one core, Lumora and its reader, playing: $playing"
echo "whole job: CPU of one core, the same while recording: $recording"
echo "whole job: ffmpeg composition to raw frames: $ffmpeg_raw; with H.264 and AAC into FLV: $ffmpeg_flv; decode only: $ffmpeg_decode"
echo "whole job: ratio playing / ffmpeg raw $(ratio "$playing" "$ffmpeg_raw") (target 0.8)," \
    "recording / ffmpeg FLV $(ratio "$recording" "$ffmpeg_flv") (target 0.8)," \
    "playing / decode only $(ratio "$playing" "$ffmpeg_decode") (target 1.6)"
echo "whole job: recording's graph ticks $((stop_tick - start_tick)) in 60 s," \
    "tick slots missed $((stop_missed - start_missed))"
echo "whole job: peak resident memory $((peak / 1024)) MB"
echo "whole job: peak anonymous memory $((peak_anonymous / 1024)) MB (sampled every 5 s)"
echo "whole job: Lumora's exit status after SIGTERM: $exit_status" \
    "$([ "$exit_status" -ne 0 ] && echo "(core, if any: /tmp/lumora-whole-job-$mode.core)")"
