#!/bin/bash
# Runs live_outage_bench (a stream's memory while its local nginx-rtmp server
# is away for OUTAGE_SECONDS, sampled every SAMPLE_SECONDS, then its return)
# with the tests' private sound server as its microphone.
# Usage: bench/live_outage_job.sh BUILD_FOLDER [OUTAGE_SECONDS] [SAMPLE_SECONDS]
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
bash "$(dirname "$0")/with_test_sound.sh" "$build/bin/live_outage_bench" "${2:-600}" "${3:-10}"
