#!/usr/bin/env bash
# Configuration, attenuation, level monitoring and ping by the whole program
# on a lab of four elements, checked against what the simulators received.
set -uo pipefail

if [ "$(id -u)" -ne 0 ]; then
  echo "SKIP: the lab needs root to create network namespaces"
  exit 77
fi

source_dir=${NMS_SOURCE_DIR:-$(cd "$(dirname "$0")/../.." && pwd)}
build_dir=${NMS_BUILD_DIR:-$source_dir/build}
lab="$source_dir/scripts/lab"
probe="$build_dir/tests/tst_LabConfigure"
export NMS_SOURCE_DIR=$source_dir
export NMS_BUILD_DIR=$build_dir
export NMS_LAB_STATE_DIR=/run/veltrino-lab
state=$NMS_LAB_STATE_DIR

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

timeout 60 "$lab" up 4 >/dev/null || { echo "FAIL: scripts/lab up 4"; exit 1; }

timeout 300 "$lab" exec env NMS_LAB=1 NMS_LAB_ELEMENTS=4 QT_QPA_PLATFORM=offscreen "$probe" ||
  fail "tst_LabConfigure"

echo "--- the moved decoder runs its new address"
addresses=$(ip -n vlab-el2 -4 -o addr show dev eth0 | awk '{print $4}' | paste -sd, -)
[ "$addresses" = 198.18.0.52/24 ] || fail "element 2's interface holds '$addresses', not 198.18.0.52/24"
grep -q '^ATTENUATION code=14$' "$state/el4.rec" || fail "element 4 did not record attenuation 14"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all configuration lab checks passed"
