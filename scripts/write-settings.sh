#!/usr/bin/env bash
# Writes a quorin.setting into DIR (the folder that holds quorin.so): cache in
# DIR/cache (made here), expiry log DIR/LOG, entries kept 29 hours, a sweep
# every 5 minutes.
#
#   scripts/write-settings.sh DIR [LOG]
set -euo pipefail
dir="$1"
log="${2:-quorin-expiry.log}"
mkdir -p "$dir/cache"
cat >"$dir/quorin.setting" <<SETTINGS
<?xml version='1.0' encoding='UTF-8'?>
<quorin>
  <CacheFolderPath>cache</CacheFolderPath>
  <CacheDeleteTime BaseTime='Creation' Interval='300' LogFilePath='$log'>104400</CacheDeleteTime>
</quorin>
SETTINGS
