#!/usr/bin/env bash
# A real Linux kernel for the tests that need one (v4l2loopback, vivid):
# QEMU boots Debian's own kernel with this machine's root as the guest's,
# read-only over 9p under a tmpfs overlay, and runs one command in it as
# root. A small busybox initramfs mounts that root and hands over.
#
#   kernel-vm.sh start DIR          makes the initramfs in DIR (the CTest
#                                   fixture's set-up); checks the kernel and
#                                   the loopback module built for it
#   kernel-vm.sh stop DIR           removes DIR
#   kernel-vm.sh run DIR CMD ARG…   boots, runs CMD in the guest in the
#                                   current folder, prints its output and
#                                   exits with its status
#   kernel-vm.sh exec DIR EXE ARG…  as run, except that a Google Test listing
#                                   (--gtest_list_tests) runs here: the
#                                   test discovery's emulator
#
# The guest sees every file of this machine at its own path, writes into a
# tmpfs, and gives back only the command's output and status, through a
# shared folder. KVM is used where it can run the kernel; TCG elsewhere.
# LUMORA_VM_MEMORY (MiB, default 2048) and LUMORA_VM_TIMEOUT (s, default
# 600) bound a run; variables named LUMORA_*, GTEST_* and GST_DEBUG pass
# into the guest.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
action="${1:?start, stop, run or exec}"
dir="${2:?the fixture folder}"

kernel_version() {
    # The newest Debian kernel installed; the host may run another one.
    local newest
    newest="$(ls /boot/vmlinuz-* 2>/dev/null | sed 's|/boot/vmlinuz-||' | sort -V | tail -n 1)"
    [[ -n "$newest" ]] || { echo "kernel-vm: no kernel in /boot (linux-image-amd64)" >&2; return 1; }
    echo "$newest"
}

# The loopback module for that kernel; DKMS builds it when the kernel came
# after the module's package.
ensure_loopback_module() {
    local version="$1"
    if ! modinfo -k "$version" v4l2loopback >/dev/null 2>&1; then
        echo "kernel-vm: building v4l2loopback for $version" >&2
        dkms autoinstall -k "$version" >&2
    fi
    modinfo -k "$version" v4l2loopback >/dev/null
}

make_initramfs() {
    local version="$1" root="$dir/initramfs"
    rm -rf "$root"
    mkdir -p "$root"/{bin,proc,sys,dev,lower,upper,newroot,modules}
    cp /bin/busybox "$root/bin/busybox"
    : >"$root/modules.order"
    local module
    for module in virtio_pci 9pnet_virtio 9p overlay; do
        modprobe -S "$version" --show-depends "$module" | awk '$1 == "insmod" { print $2 }'
    done | awk '!seen[$0]++' | while read -r path; do
        cp "$path" "$root/modules/"
        basename "$path" >>"$root/modules.order"
    done
    cp "$here/kernel-vm-init" "$root/init"
    chmod +x "$root/init"
    (cd "$root" && find . | cpio -o -H newc --quiet) | gzip -1 >"$dir/initramfs.gz"
    rm -rf "$root"
    echo "$version" >"$dir/kernel-version"
}

accelerator() {
    if [[ -w /dev/kvm ]] && grep -qwE 'vmx|svm' /proc/cpuinfo; then
        echo "-accel kvm -cpu host"
    else
        echo "-accel tcg,thread=multi -cpu max"
    fi
}

# The script the guest runs in its real root: what a booted system has
# that the command needs, then the command, then power off. The run's
# folder is /lumora-vm there.
write_guest_script() {
    local run="$1"
    shift
    {
        echo '#!/bin/bash'
        echo ': >/lumora-vm/started'
        # /tmp stays the host's, written into the overlay: a build tree may
        # live there.
        echo 'mount -t tmpfs tmpfs /run'
        echo 'mkdir -p /dev/pts /dev/shm /run/user/0 && chmod 700 /run/user/0'
        echo 'mount -t devpts devpts /dev/pts; mount -t tmpfs -o mode=1777 tmpfs /dev/shm'
        echo 'ip link set lo up 2>/dev/null; hostname lumora-vm'
        echo 'export HOME=/root XDG_RUNTIME_DIR=/run/user/0 LANG=C.UTF-8'
        echo 'export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin'
        local name
        while read -r name; do
            printf 'export %s=%q\n' "$name" "${!name}"
        done < <(compgen -e | grep -E '^(LUMORA_|GTEST_|GST_DEBUG$)' || true)
        printf 'cd %q\n' "$PWD"
        printf '%q ' "$@"
        echo '>/lumora-vm/output 2>&1 </dev/null'
        echo 'echo $? >/lumora-vm/status'
        echo 'sync; echo o >/proc/sysrq-trigger; sleep 10'
    } >"$run/guest.sh"
    chmod +x "$run/guest.sh"
}

# Boots the guest once; its status file tells how the command ended.
boot_guest() {
    local version="$1" run="$2"
    # no_timer_check: on a loaded machine an emulated processor can be too
    # slow for the kernel's check of the interrupt timer, which then panics.
    # shellcheck disable=SC2046
    timeout --kill-after=5 "${LUMORA_VM_TIMEOUT:-600}" qemu-system-x86_64 \
        $(accelerator) -smp 2 -m "${LUMORA_VM_MEMORY:-2048}" \
        -nodefaults -display none -no-reboot -serial "file:$run/console" \
        -kernel "/boot/vmlinuz-$version" -initrd "$dir/initramfs.gz" \
        -append "console=ttyS0 quiet panic=-1 no_timer_check" \
        -virtfs "local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap" \
        -virtfs "local,path=$run,mount_tag=results,security_model=none,multidevs=remap" ||
        true
}

run_in_guest() {
    [[ -f "$dir/initramfs.gz" ]] || { echo "kernel-vm: $dir is not started" >&2; return 1; }
    local version run status
    version="$(cat "$dir/kernel-version")"
    mkdir -p "$dir/runs"
    run="$(mktemp -d "$dir/runs/run.XXXXXX")"
    write_guest_script "$run" "$@"
    boot_guest "$version" "$run"
    if [[ ! -e "$run/started" ]]; then
        # The kernel never reached the command: boot once more.
        echo "kernel-vm: the guest did not boot; trying once more" >&2
        tail -n 5 "$run/console" >&2 || true
        boot_guest "$version" "$run"
    fi
    cat "$run/output" 2>/dev/null || true
    if [[ ! -s "$run/status" ]]; then
        echo "kernel-vm: the guest ended without the command's status; its console:" >&2
        tail -n 40 "$run/console" >&2 || true
        rm -rf "$run"
        return 1
    fi
    status="$(cat "$run/status")"
    rm -rf "$run"
    return "$status"
}

case "$action" in
start)
    mkdir -p "$dir"
    version="$(kernel_version)"
    ensure_loopback_module "$version"
    make_initramfs "$version"
    ;;
stop)
    rm -rf "$dir"
    ;;
run)
    shift 2
    run_in_guest "$@"
    ;;
exec)
    shift 2
    for argument in "$@"; do
        if [[ "$argument" == --gtest_list_tests ]]; then
            exec "$@"
        fi
    done
    run_in_guest "$@"
    ;;
*)
    echo "usage: $0 start|stop|run|exec DIR [command]" >&2
    exit 2
    ;;
esac
