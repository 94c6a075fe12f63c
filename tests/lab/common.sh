# Sourced by the lab test scripts: skips without root, finds the build, checks
# that the simulator and the named probe are built, and takes the lab down
# when the script ends, however it ends. Sets source_dir, build_dir, lab,
# probe and state, and offers fail and finish.

if [ "$(id -u)" -ne 0 ]; then
  echo "SKIP: the lab needs root to create network namespaces"
  exit 77
fi

# Only one lab can exist on a machine; a second suite (another build tree, a
# parallel ctest) waits for the first instead of tearing its namespaces down.
exec {lab_lock_fd}>/run/veltrino-lab.lock
if ! flock -w 900 "$lab_lock_fd"; then
  echo "FAIL: another lab run held /run/veltrino-lab.lock for 15 minutes"
  exit 1
fi

source_dir=${NMS_SOURCE_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}
build_dir=${NMS_BUILD_DIR:-$source_dir/build}
lab="$source_dir/scripts/lab"
probe="$build_dir/tests/$1"
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

# Ends the script with the verdict of its checks.
finish() {
  if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
  fi
  echo "$1"
  exit 0
}

trap 'timeout 60 "$lab" down >/dev/null 2>&1' EXIT
