#!/usr/bin/env bash
# Discovery by the whole program on the lab network: twenty elements
# answering at once, then four elements with a stopped one, one that reports
# an address nobody holds, one with a corrupt serial, and a datagram flood.
set -uo pipefail

# shellcheck source=common.sh
source "$(dirname "$0")/common.sh" tst_LabDiscovery

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

finish "all discovery lab checks passed"
