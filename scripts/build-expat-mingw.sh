#!/usr/bin/env bash
# Builds libexpat for 64-bit Windows from Debian's own expat source package,
# as a static library in BUILD_DIR/expat-prefix (BUILD_DIR defaults to
# build-windows). The source comes with the ordinary `apt-get source`, through
# a private APT configuration in BUILD_DIR/apt that adds deb-src lines for
# the archives this machine already uses; /etc/apt is only read.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build_dir=$(realpath -m "${1:-build-windows}")
prefix=$build_dir/expat-prefix
toolchain=$root/cmake/mingw-w64-x86_64.cmake

if [ -f "$prefix/lib/libexpat.a" ] && [ -f "$prefix/include/expat.h" ]; then
    echo "libexpat for Windows: $prefix"
    exit 0
fi

# One "URI suite component..." line for every "deb" entry of /etc/apt, in
# either format.
read_archives() {
    local file
    for file in /etc/apt/sources.list.d/*.sources; do
        [ -f "$file" ] || continue
        awk '
            function flush(  i, n, list) {
                if (deb && uri != "" && suites != "") {
                    n = split(suites, list, /[ \t]+/)
                    for (i = 1; i <= n; i++) if (list[i] != "") print uri, list[i], components
                }
                deb = 0; uri = ""; suites = ""; components = ""
            }
            /^[ \t]*$/       { flush(); next }
            /^Types:/         { deb = ($0 ~ /(:|[ \t])deb([ \t]|$)/) }
            /^URIs:/          { uri = $2 }
            /^Suites:/        { sub(/^Suites:[ \t]*/, ""); suites = $0 }
            /^Components:/    { sub(/^Components:[ \t]*/, ""); components = $0 }
            END               { flush() }
        ' "$file"
    done
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$file" ] || continue
        awk '$1 == "deb" {
            i = 2
            if ($2 ~ /^\[/) { while ($i !~ /\]$/) i++; i++ }
            line = $i
            for (j = i + 1; j <= NF; j++) line = line " " $j
            print line
        }' "$file"
    done
}
# The suites of the first archive named (the main one, not the security
# archive, which serves no sources to this machine).
archives=$(read_archives | awk 'NR == 1 { uri = $1 } $1 == uri')
if [ -z "$archives" ]; then
    echo "no Debian archive found in /etc/apt" >&2
    exit 1
fi

apt_dir=$build_dir/apt
rm -rf "$apt_dir/source"
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/source"
sed "s/^/deb-src /" <<<"$archives" > "$apt_dir/sources.list"
apt_options=(
    -o "Dir::Etc::sourcelist=$apt_dir/sources.list"
    -o "Dir::Etc::sourceparts=-"
    -o "Dir::State::lists=$apt_dir/lists"
    -o "Dir::Cache=$apt_dir/cache"
    -o "APT::Sandbox::User=root"
)
apt-get "${apt_options[@]}" update -qq
(cd "$apt_dir/source" && apt-get "${apt_options[@]}" source -qq expat)

source_dir=$(find "$apt_dir/source" -mindepth 1 -maxdepth 1 -type d -name 'expat-*' | head -n 1)
# The Debian package keeps the library (with its CMakeLists.txt) at the top
# or in expat/, depending on the version.
[ -f "$source_dir/CMakeLists.txt" ] || source_dir=$source_dir/expat

cmake -S "$source_dir" -B "$build_dir/expat-build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DEXPAT_SHARED_LIBS=OFF \
    -DEXPAT_BUILD_TOOLS=OFF \
    -DEXPAT_BUILD_EXAMPLES=OFF \
    -DEXPAT_BUILD_TESTS=OFF \
    -DEXPAT_BUILD_DOCS=OFF \
    -DEXPAT_BUILD_PKGCONFIG=OFF >/dev/null
# Debian's security patches test "#if XML_DTD == 1", as the autotools build
# that Debian itself uses defines it; expat's CMake defines it empty.
sed -i 's/^#define XML_DTD$/#define XML_DTD 1/' "$build_dir/expat-build/expat_config.h"
cmake --build "$build_dir/expat-build" -j2
cmake --install "$build_dir/expat-build" >/dev/null
echo "libexpat for Windows: $prefix"
