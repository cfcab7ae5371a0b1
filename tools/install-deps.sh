#!/usr/bin/env bash
# Installs the Debian packages of a list (tools/debian-packages.txt unless
# another is given) that are missing. Does nothing (and needs no network)
# when everything is already there. A name that an installed package
# provides counts as installed (npm comes with some builds of nodejs).
set -euo pipefail

list="${1:-$(cd "$(dirname "$0")" && pwd)/debian-packages.txt}"
provided=" $(dpkg-query -W -f='${db:Status-Abbrev}|${Provides}\n' 2>/dev/null |
    awk -F'|' '$1 ~ /^ii/ { print $2 }' | tr ',' '\n' | sed 's/(.*)//; s/ //g' | tr '\n' ' ') "
missing=()
while read -r package; do
    [[ -z "$package" || "$package" == \#* ]] && continue
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" &&
        [[ "$provided" != *" $package "* ]]; then
        missing+=("$package")
    fi
done <"$list"

if ((${#missing[@]} == 0)); then
    exit 0
fi

echo "Installing: ${missing[*]}"
as_root=()
if [[ $(id -u) -ne 0 ]]; then
    as_root=(sudo)
fi
"${as_root[@]}" apt-get update
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
