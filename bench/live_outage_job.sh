#!/bin/bash
# Runs live_outage_bench (a stream's memory while its local nginx-rtmp server
# is away for OUTAGE_SECONDS, sampled every SAMPLE_SECONDS, then its return)
# with the tests' private sound server as its microphone.
# Usage: bench/live_outage_job.sh BUILD_FOLDER [OUTAGE_SECONDS] [SAMPLE_SECONDS]
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
outage=${2:-600}
step=${3:-10}
source_dir=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d /tmp/lumora-live-outage-XXXXXX)
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
"$build/bin/live_outage_bench" "$outage" "$step"
