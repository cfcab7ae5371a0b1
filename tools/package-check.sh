#!/bin/bash
# Installs the Debian package in a clean Debian 12 root made with debootstrap
# and runs the programs there: apt must find every dependency on its own.
# Usage: tools/package-check.sh BUILD_FOLDER   (as root, or with sudo)
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
package=$(ls -t "$build"/lumora_*.deb | head -n1)
root="$build/package-root"
mirror=${MIRROR:-http://deb.debian.org/debian}
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo

command -v debootstrap >/dev/null || { $sudo apt-get update && $sudo apt-get install -y debootstrap; }
if [ ! -x "$root/usr/bin/apt-get" ]; then
    $sudo debootstrap --variant=minbase bookworm "$root" "$mirror"
fi
$sudo cp "$package" "$root/tmp/"
cleanup() { $sudo umount "$root/proc" 2>/dev/null || true; }
trap cleanup EXIT
$sudo mount -t proc proc "$root/proc"
$sudo chroot "$root" apt-get update
$sudo chroot "$root" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y "/tmp/$(basename "$package")"
$sudo chroot "$root" lumora --version
$sudo chroot "$root" lumora-vcam --help >/dev/null
echo "package-check: $(basename "$package") installs and runs in a clean Debian 12 root"
