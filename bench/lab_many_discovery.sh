#!/usr/bin/env bash
# How many elements one discovery lists when hundreds answer within a few
# milliseconds, on labs built by `scripts/lab up-many`: the core's discovery,
# run by veltrino-nmsctl with the window's three seconds. Needs root.
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
db=$(mktemp /tmp/vlab-bench.XXXXXX)

counts=("$@")
((${#counts[@]} > 0)) || counts=(500 1000)
for count in "${counts[@]}"; do
  for keep in 0 1; do
    if ! NMS_LAB_KEEP_NEIGH_LIMITS=$keep timeout 180 "$lab" up-many "$count" >/dev/null; then
      fail "scripts/lab up-many $count"
      continue
    fi
    listed=$(timeout 300 "$lab" exec "$build_dir/veltrino-nmsctl" discover --db "$db" \
      --format csv --window 3000 | tail -n +2 | wc -l)
    line="BENCH elements=$count listed=$listed"
    line="$line neigh_limits=$([ "$keep" = 1 ] && echo machine || echo raised)"
    echo "$(date -u +%FT%TZ) $line" | tee -a "$results"
  done
done
timeout 60 "$lab" down >/dev/null
rm -f "$db"

finish "figures in $results"
