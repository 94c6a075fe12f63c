#!/usr/bin/env bash
# How many elements one discovery stores when hundreds answer within a few
# milliseconds, on labs built by `scripts/lab up-many`, and what the same
# burst does to a socket with the kernel's default receive queue. Needs root.
#
#   bench/lab_many_discovery.sh [COUNT...]     (default: 500 1000)
#
# Each count runs twice: with the neighbour limits raised as the lab raises
# them, and with the machine's own (NMS_LAB_KEEP_NEIGH_LIMITS=1), which is
# what a site that did not follow the README has. One BENCH line per run is
# printed and appended to $NMS_BUILD_DIR/bench-lab-many.txt.
set -uo pipefail

# shellcheck source=../tests/lab/common.sh
source "$(dirname "$0")/../tests/lab/common.sh" tst_LabDiscovery
results="$build_dir/bench-lab-many.txt"

counts=("$@")
((${#counts[@]} > 0)) || counts=(500 1000)
for count in "${counts[@]}"; do
  for keep in 0 1; do
    if ! NMS_LAB_KEEP_NEIGH_LIMITS=$keep timeout 180 "$lab" up-many "$count" >/dev/null; then
      fail "scripts/lab up-many $count"
      continue
    fi
    line=$(timeout 300 "$lab" exec env NMS_LAB=1 NMS_LAB_BENCH=1 NMS_LAB_ELEMENTS="$count" \
      QT_QPA_PLATFORM=offscreen "$probe" benchmarkStoredOfMany | grep '^BENCH ')
    [ -n "$line" ] || fail "no figures for $count elements"
    line="$line neigh_limits=$([ "$keep" = 1 ] && echo machine || echo raised)"
    echo "$(date -u +%FT%TZ) $line" | tee -a "$results"
  done
done
timeout 60 "$lab" down >/dev/null

finish "figures in $results"
