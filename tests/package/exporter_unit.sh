#!/usr/bin/env bash
# The exporter's service unit as systemd reads it: `systemd-analyze verify`
# on the unit with its program path pointed at this build. verify exits 0
# on a line it ignores, so any complaint at all fails.
#   exporter_unit.sh UNIT.in PROGRAM_DIR
set -uo pipefail
work=$(mktemp -d /tmp/nms-unit.XXXXXX)
trap 'rm -rf "$work"' EXIT
unit=$work/veltrino-nms-exporter.service
sed "s|@CMAKE_INSTALL_FULL_BINDIR@|$2|" "$1" >"$unit"
# As installed, whatever the caller's umask: systemd warns of a writable unit.
chmod 644 "$unit"
output=$(systemd-analyze verify --man=no "$unit" 2>&1)
status=$?
if [ "$status" -ne 0 ] || [ -n "$output" ]; then
  echo "FAIL: systemd-analyze verify (exit $status): $output"
  exit 1
fi
grep -q '^NoNewPrivileges=yes$' "$unit" && grep -q '^ProtectSystem=strict$' "$unit" ||
  { echo "FAIL: the unit lost its sandboxing"; exit 1; }
echo "PASS: the exporter's unit verifies"
