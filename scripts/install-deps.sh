#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running quorin need.
# Idempotent: packages already present are left as they are. Extra package
# names given as arguments are installed too (e.g. clang for the fuzzers).
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    libexpat1-dev libssl-dev libutfcpp-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    libfreeimage-dev liblcms2-dev zlib1g-dev libboost-dev libcurl4-openssl-dev curl
    libseccomp-dev
    prometheus
    "$@"
)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing+=("$package")
done

if ((${#missing[@]} > 0)); then
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    export DEBIAN_FRONTEND=noninteractive
    "${sudo_cmd[@]}" apt-get update -qq
    "${sudo_cmd[@]}" apt-get install -y -qq "${missing[@]}"
fi
