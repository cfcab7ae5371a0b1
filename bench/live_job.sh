#!/bin/bash
# Runs live_bench (recording, streaming, both, and ffmpeg's own command, each
# for SECONDS in each of ROUNDS rounds, then streaming read back for the
# delay, to a local nginx-rtmp server the bench starts itself) with the
# tests' private sound server as its microphone.
# Usage: bench/live_job.sh BUILD_FOLDER [standard|720p|1080p] [SECONDS] [ROUNDS]
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
bash "$(dirname "$0")/with_test_sound.sh" "$build/bin/live_bench" "${2:-standard}" "${3:-30}" "${4:-3}"
