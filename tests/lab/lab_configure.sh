#!/usr/bin/env bash
# Configuration, attenuation, level monitoring and ping by the whole program
# on a lab of four elements, checked against what the simulators received.
set -uo pipefail

# shellcheck source=common.sh
source "$(dirname "$0")/common.sh" tst_LabConfigure

timeout 60 "$lab" up 4 >/dev/null || { echo "FAIL: scripts/lab up 4"; exit 1; }

timeout 300 "$lab" exec env NMS_LAB=1 NMS_LAB_ELEMENTS=4 QT_QPA_PLATFORM=offscreen "$probe" ||
  fail "tst_LabConfigure"

echo "--- the moved decoder runs its new address"
addresses=$(ip -n vlab-el2 -4 -o addr show dev eth0 | awk '{print $4}' | paste -sd, -)
[ "$addresses" = 198.18.0.52/24 ] || fail "element 2's interface holds '$addresses', not 198.18.0.52/24"
grep -q '^ATTENUATION code=14$' "$state/el4.rec" || fail "element 4 did not record attenuation 14"

finish "all configuration lab checks passed"
