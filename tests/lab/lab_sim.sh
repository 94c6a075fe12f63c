#!/usr/bin/env bash
# The simulated elements on the lab network: paging by subnet and limited
# broadcast, answers of the right length from each element's own address, the
# station's neighbour table, stopped and silent elements, and configurations
# that move an element's interface (and one that must not).
set -uo pipefail

# shellcheck source=common.sh
source "$(dirname "$0")/common.sh" tst_LabPaging
paging_hex=49504d505853544c204f5242454c554e4420504147494e472052455155455354

# Runs the probe's named test functions inside the station's namespace.
probe() {
  local answering=$1
  shift
  timeout 120 "$lab" exec env NMS_LAB=1 NMS_LAB_ELEMENTS=4 NMS_LAB_ANSWERING="$answering" \
    QT_QPA_PLATFORM=offscreen "$probe" "$@" || fail "probe $* (answering $answering)"
}

count_lines() {
  grep -c -- "$2" "$1" 2>/dev/null || true
}

timeout 60 "$lab" up 4 || { echo "FAIL: scripts/lab up 4"; exit 1; }

echo "--- every element answers both broadcasts"
probe 1,2,3,4 pagingAnswers neighbourTableHoldsElementMacs
for i in 1 2 3 4; do
  length=$((i % 2 ? 44 : 48))
  record="$state/el$i.rec"
  [ "$(count_lines "$record" "^RX port=1901 from=198.18.0.1:2976 len=32 hex=$paging_hex$")" -eq 2 ] ||
    fail "element $i did not record both paging requests"
  [ "$(count_lines "$record" "^TX port=1901 to=198.18.0.1:2976 len=$length ")" -eq 2 ] ||
    fail "element $i did not record two $length-byte answers"
done

echo "--- a stopped element and a silent one"
timeout 30 "$lab" sim-stop 4 >/dev/null || fail "sim-stop 4"
timeout 30 "$lab" sim-start 3 --no-answer >/dev/null || fail "sim-start 3 --no-answer"
timeout 30 "$lab" status | grep -Eq '^4 .* stopped$' || fail "status does not show element 4 stopped"
probe 1,2 pagingAnswers
[ "$(count_lines "$state/el3.rec" '^SILENT port=1901 ')" -eq 2 ] ||
  fail "element 3 did not record its two withheld answers"
[ "$(count_lines "$state/el4.rec" '^RX port=1901 ')" -eq 2 ] ||
  fail "stopped element 4 received paging"
timeout 30 "$lab" sim-start 3 >/dev/null || fail "sim-start 3"
timeout 30 "$lab" sim-start 4 >/dev/null || fail "sim-start 4"

echo "--- configurations"
probe 1,2,3,4 configurationAnswered levelAndAttenuation
addresses=$(ip -n vlab-el1 -4 -o addr show dev eth0 | awk '{print $4}' | paste -sd, -)
[ "$addresses" = 198.18.0.51/24 ] || fail "element 1's interface holds '$addresses', not 198.18.0.51/24"
ip -n vlab-el1 -4 route show default | grep -q 'via 198.18.0.254' ||
  fail "element 1 lost its default route"
grep -q '^ATTENUATION code=200$' "$state/el2.rec" || fail "element 2 did not record attenuation 200"
grep -q '^INTERFACE-REFUSED dev=eth0 reason=address outside' "$state/el3.rec" ||
  fail "element 3 did not refuse an address outside the test range"
addresses=$(ip -n vlab-el3 -4 -o addr show dev eth0 | awk '{print $4}' | paste -sd, -)
[ "$addresses" = 198.18.0.13/24 ] || fail "element 3's interface moved to '$addresses'"

echo "--- a restarted element keeps the address it was moved to"
timeout 30 "$lab" sim-start 1 >/dev/null || fail "sim-start 1"
tail -n 1 "$state/el1.log" | grep -q '^READY role=encoder ip=198.18.0.51 ' ||
  fail "restarted element 1 does not report 198.18.0.51"

echo "--- down twice leaves nothing behind"
timeout 60 "$lab" down >/dev/null || fail "first down"
timeout 60 "$lab" down >/dev/null || fail "second down"
if ip netns list | grep -Eq '^vlab-'; then
  fail "namespaces left: $(ip netns list | grep -E '^vlab-' | tr '\n' ' ')"
fi
[ ! -e "$state" ] || fail "state directory $state left behind"

finish "all lab checks passed"
