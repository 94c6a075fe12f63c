# Sourced by the lab scripts (and bench/lab_*.sh): skips without root, finds
# the build and the named probe, and takes the lab down however the script
# ends. Sets source_dir, build_dir, lab, probe and state; offers fail, finish.

if [ "$(id -u)" -ne 0 ]; then
  echo "SKIP: the lab needs root to create network namespaces"
  exit 77
fi

# One lab per machine: a second suite waits for the first.
exec {lab_lock_fd}>/run/veltrino-lab.lock
flock -w 900 "$lab_lock_fd" || { echo "FAIL: /run/veltrino-lab.lock held for 15 minutes"; exit 1; }

source_dir=${NMS_SOURCE_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}
build_dir=${NMS_BUILD_DIR:-$source_dir/build}
lab="$source_dir/scripts/lab"
probe="$build_dir/tests/$1"
export NMS_SOURCE_DIR=$source_dir NMS_BUILD_DIR=$build_dir NMS_LAB_STATE_DIR=/run/veltrino-lab
state=$NMS_LAB_STATE_DIR

for program in "$build_dir/veltrino-element-sim" "$probe"; do
  [ -x "$program" ] || { echo "FAIL: $program is not built"; exit 1; }
done

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# Ends the script with the verdict of its checks.
finish() {
  ((failures == 0)) || { echo "$failures check(s) failed"; exit 1; }
  echo "$1"
  exit 0
}

# probe_in_lab COUNT FUNCTION [VAR=VALUE...]: the probe's function in the
# station's namespace, on a lab of COUNT elements.
probe_in_lab() {
  local count=$1 function=$2
  shift 2
  timeout 300 "$lab" exec env NMS_LAB=1 NMS_LAB_ELEMENTS="$count" QT_QPA_PLATFORM=offscreen "$@" \
    "$probe" "$function" || fail "$(basename "$probe") $function $* (lab of $count)"
}

trap 'timeout 60 "$lab" down >/dev/null 2>&1' EXIT
