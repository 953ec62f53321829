#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running quorin need,
# and the npm packages the tests run (tests/package-lock.json). Idempotent:
# packages already present are left as they are. Extra package names given
# as arguments are installed too (e.g. clang for the fuzzers).
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    libexpat1-dev libssl-dev libutfcpp-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    libfreeimage-dev liblcms2-dev libheif-dev libwebp-dev zlib1g-dev libboost-dev libcurl4-openssl-dev curl
    libseccomp-dev
    prometheus nginx
    "$@"
)
# Node may come from elsewhere than Debian; only a machine without one gets Debian's.
command -v node >/dev/null || packages+=(nodejs npm)

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

# The origins the tests serve from: installed as pinned, again only when the
# lock file changed since the last install.
tests="$(cd "$(dirname "$0")/../tests" && pwd)"
if [ ! "$tests/node_modules/.installed" -nt "$tests/package-lock.json" ]; then
    npm ci --prefix "$tests" --no-audit --no-fund --loglevel=error
    touch "$tests/node_modules/.installed"
fi
