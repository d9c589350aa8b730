#!/usr/bin/env bash
# ensure-packages.sh COMMAND:PACKAGE ...
# Installs, from Debian's archive, each package whose command (or file, when
# it starts with /) is missing. Needs root or sudo when something is missing.
set -euo pipefail
missing=()
for pair in "$@"; do
    probe=${pair%%:*} package=${pair#*:}
    if [[ $probe == /* ]]; then [[ -e $probe ]] && continue
    else command -v "$probe" >/dev/null 2>&1 && continue
    fi
    missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0
sudo=""
[[ $(id -u) -ne 0 ]] && sudo="sudo"
echo "installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
