#!/bin/bash
# Runs a command with the tests' private sound server (its tone as the
# microphone) under a runtime folder of its own, and takes both away after.
# Usage: bench/with_test_sound.sh COMMAND [ARGUMENTS...]
set -euo pipefail

source_dir=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d /tmp/lumora-bench-sound-XXXXXX)
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
"$@"
