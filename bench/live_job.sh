#!/bin/bash
# Runs live_bench (recording, streaming, both, and ffmpeg's own command, each
# for SECONDS, to a local nginx-rtmp server the bench starts itself) with the
# tests' private sound server as its microphone.
# Usage: bench/live_job.sh BUILD_FOLDER [standard|720p|1080p] [SECONDS]
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
mode=${2:-standard}
seconds=${3:-30}
source_dir=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d /tmp/lumora-live-job-XXXXXX)
# A sound server left running (its tone included) would load the next run.
cleanup() {
    bash "$source_dir/tools/pulse-fixture.sh" stop "$work/pulse" >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
export XDG_RUNTIME_DIR="$work/run"
mkdir -m 700 "$XDG_RUNTIME_DIR"
bash "$source_dir/tools/pulse-fixture.sh" start "$work/pulse" >/dev/null
export PULSE_SERVER="unix:$work/pulse/native"
"$build/bin/live_bench" "$mode" "$seconds"
