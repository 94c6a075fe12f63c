#!/usr/bin/env bash
# Configuration, attenuation, level monitoring and ping by the whole program
# on a lab of four elements, checked against what the simulators did; then
# the lab itself: a restarted element keeps its moved address, and down
# leaves nothing behind, twice.
set -uo pipefail

# shellcheck source=common.sh
source "$(dirname "$0")/common.sh" tst_LabConfigure

timeout 60 "$lab" up 4 >/dev/null || { echo "FAIL: scripts/lab up 4"; exit 1; }
timeout 300 "$lab" exec env NMS_LAB=1 QT_QPA_PLATFORM=offscreen "$probe" || fail "tst_LabConfigure"

addresses=$(ip -n vlab-el2 -4 -o addr show dev eth0 | awk '{print $4}' | paste -sd, -)
[ "$addresses" = 198.18.0.52/24 ] || fail "element 2's interface holds '$addresses', not 198.18.0.52/24"
grep -q '^ATTENUATION code=14$' "$state/el4.rec" || fail "element 4 did not record attenuation 14"
timeout 30 "$lab" sim-start 2 >/dev/null || fail "sim-start 2"
tail -n 1 "$state/el2.log" | grep -q '^READY role=decoder ip=198.18.0.52 ' ||
  fail "restarted element 2 does not report 198.18.0.52"

for round in 1 2; do timeout 60 "$lab" down >/dev/null || fail "down, round $round"; done
! ip netns list | grep -q '^vlab-' || fail "namespaces left: $(ip netns list | grep '^vlab-' | tr '\n' ' ')"
[ ! -e "$state" ] || fail "state directory $state left behind"

finish "all configuration lab checks passed"
