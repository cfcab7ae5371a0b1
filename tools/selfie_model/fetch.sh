#!/usr/bin/env bash
# Fetches the selfie segmentation package from the npm registry into
# BUILD_DIR/selfie_model/, checks the tarball against the hash below and
# unpacks it to BUILD_DIR/selfie_model/package/. Usage: fetch.sh BUILD_DIR
#
# The package (Apache-2.0) holds the two networks, selfie_segmentation.tflite
# (256 x 256 input) and selfie_segmentation_landscape.tflite (144 x 256), and
# its own WebAssembly runtime. Run again with the tarball in place, it checks
# the hash and unpacks without the network.
set -euo pipefail

package=@mediapipe/selfie_segmentation
version=0.1.1675465747
sha256=7767b33eaa68990ee06c28bbb89f39a13a47ebb07ff0f1fd4947d9e817bb9bf9

if [[ $# -ne 1 ]]; then
    echo "usage: $0 BUILD_DIR" >&2
    exit 2
fi
dir="$1/selfie_model"
tarball="$dir/mediapipe-selfie_segmentation-$version.tgz"
mkdir -p "$dir"

if [[ ! -f "$tarball" ]] || ! echo "$sha256  $tarball" | sha256sum --check --status; then
    rm -f "$tarball"
    npm pack --silent --pack-destination "$dir" "$package@$version" >/dev/null
fi
if ! echo "$sha256  $tarball" | sha256sum --check --status; then
    echo "$0: $tarball does not have the SHA-256 $sha256" >&2
    rm -f "$tarball"
    exit 1
fi

rm -rf "$dir/package"
tar -xzf "$tarball" -C "$dir" --no-same-owner
# The tarball's files are read-only for others; the build and the tests
# only read them, but a later run must be able to replace them.
chmod -R u+w "$dir/package"
touch "$dir/package"/*.tflite
