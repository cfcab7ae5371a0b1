#!/usr/bin/env bash
# The virtual camera's loopback road in a kernel of its own (QEMU, see
# tools/kernel-vm.sh): the kernel's start-to-end time for an empty command,
# then vcam_road_bench --loopback inside it (lumora-vcam's CPU and the delay
# from the channel to ffmpeg's read at each output mode). Under an emulated
# processor (no usable KVM) every figure is a multiple of the real one.
#   bench/loopback_road.sh BUILD [SECONDS]
set -euo pipefail
build="$(cd "${1:?the build folder}" && pwd)"
seconds="${2:-20}"
here="$(cd "$(dirname "$0")/.." && pwd)"
vm="$build/bench-kernel"

"$here/tools/kernel-vm.sh" start "$vm"
trap '"$here/tools/kernel-vm.sh" stop "$vm"' EXIT
start=$(date +%s.%N)
"$here/tools/kernel-vm.sh" run "$vm" true
end=$(date +%s.%N)
awk -v a="$start" -v b="$end" 'BEGIN { printf "kernel fixture: boot, an empty command and power-off in %.1f s\n", b - a }'
"$here/tools/kernel-vm.sh" run "$vm" "$build/bin/vcam_road_bench" --loopback "$seconds"
