#!/usr/bin/env bash
# Builds the Debian package, unpacks it into a temporary root, starts the
# unpacked quorin-host on a free 127.0.0.1 port and fetches an image; checks
# the service unit with systemd-analyze where systemd is present.
#
#   tests/host/package_test.sh BUILD_DIR CPACK
# Exits 77 (skipped) where dpkg-deb is missing.
set -euo pipefail
build="$1"
cpack="$2"
command -v dpkg-deb >/dev/null || { echo "dpkg-deb is not installed"; exit 77; }

work=$(mktemp -d)
pid=
cleanup() {
    [ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/package/*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
# libheif encodes and decodes AVIF and HEIC, libwebpmux animated WebP.
for package in libfreeimage libheif libwebpmux procps; do
    [[ $depends == *$package* ]] || { echo "Depends: $depends"; exit 1; }
done
dpkg-deb -x "$deb" "$work/root"
root="$work/root"
for file in usr/bin/quorin-host usr/lib/quorin/quorin.so usr/lib/quorin/quorin.setting \
    usr/lib/systemd/system/quorin-host.service; do
    [ -e "$root/$file" ] || { echo "missing $file"; exit 1; }
done
grep -q "<CacheFolderPath>/var/cache/quorin</CacheFolderPath>" "$root/usr/lib/quorin/quorin.setting"

# The installed settings name the system's directories; here the cache goes
# into the temporary directory.
sed -i -e "s|/var/cache/quorin|$work/cache|" -e "s|/var/log/quorin|$work|" \
    "$root/usr/lib/quorin/quorin.setting"
# The service manager makes the cache directory (CacheDirectory=).
mkdir -p "$work/cache"
"$root/usr/bin/quorin-host" --make-samples "$work/images" >/dev/null
# Made before the host starts, so that the wait below never reads a log
# the started process has not opened yet.
: >"$work/host.log"
"$root/usr/bin/quorin-host" --images "$work/images" --listen 127.0.0.1:0 \
    --access-log "$work/access.log" 2>"$work/host.log" &
pid=$!
port=
for _ in $(seq 200); do
    port=$(sed -n 's|.* at http://127\.0\.0\.1:\([0-9]*\)/.*|\1|p' "$work/host.log")
    [ -n "$port" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
[ -n "$port" ] || { echo "the installed quorin-host did not start:"; cat "$work/host.log"; exit 1; }

answer=$(curl -s --max-time 30 -o "$work/answer" -w '%{http_code} %{content_type}' \
    "http://127.0.0.1:$port/sunrise.jpg?w=100")
[ "$answer" = "200 image/jpeg" ] || { echo "answer: $answer"; cat "$work/host.log"; exit 1; }
[ -n "$(find "$work/cache" -type f -name 'sunrise*')" ] || { echo "nothing cached"; exit 1; }

kill -TERM "$pid"
for _ in $(seq 200); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
wait "$pid" || { echo "quorin-host did not stop cleanly"; exit 1; }
pid=

if command -v systemd-analyze >/dev/null; then
    # Verified with ExecStart pointing at the unpacked program, which is
    # not installed on this system.
    unit="$work/quorin-host.service"
    sed "s|/usr/bin/quorin-host|$root/usr/bin/quorin-host|" \
        "$root/usr/lib/systemd/system/quorin-host.service" >"$unit"
    systemd-analyze verify "$unit"
fi
echo "package installs and serves"
