#!/usr/bin/env bash
# Discovery by the whole program on the lab network: twenty elements
# answering at once, then four elements with a stopped one, one that reports
# an address nobody holds, one with a corrupt serial, and a datagram flood.
set -uo pipefail

if [ "$(id -u)" -ne 0 ]; then
  echo "SKIP: the lab needs root to create network namespaces"
  exit 77
fi

source_dir=${NMS_SOURCE_DIR:-$(cd "$(dirname "$0")/../.." && pwd)}
build_dir=${NMS_BUILD_DIR:-$source_dir/build}
lab="$source_dir/scripts/lab"
probe="$build_dir/tests/tst_LabDiscovery"
export NMS_SOURCE_DIR=$source_dir
export NMS_BUILD_DIR=$build_dir
export NMS_LAB_STATE_DIR=/run/veltrino-lab

for program in "$build_dir/veltrino-element-sim" "$probe"; do
  if [ ! -x "$program" ]; then
    echo "FAIL: $program is not built"
    exit 1
  fi
done

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

trap 'timeout 60 "$lab" down >/dev/null 2>&1' EXIT

# Runs the program's test functions inside the station's namespace.
probe() {
  local count=$1
  shift
  timeout 300 "$lab" exec env NMS_LAB=1 NMS_LAB_ELEMENTS="$count" QT_QPA_PLATFORM=offscreen \
    "$probe" "$@" || fail "tst_LabDiscovery $* (lab of $count)"
}

echo "--- twenty elements answering at once"
if timeout 120 "$lab" up 20 >/dev/null; then
  probe 20 discoveryRecordsEveryElement
else
  fail "scripts/lab up 20"
fi

echo "--- four elements"
if timeout 60 "$lab" up 4 >/dev/null; then
  probe 4 discoveryRecordsEveryElement secondDiscoveryKeepsOnlyAnsweringElements \
    addressNobodyHoldsGivesMacBox corruptSerialGivesBoxAndStoresNothing \
    floodNeitherCrashesNorStacksBoxes
else
  fail "scripts/lab up 4"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all discovery lab checks passed"
