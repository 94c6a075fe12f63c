#!/usr/bin/env bash
# veltrino-nmsctl's ping and MAC lookup side by side with iputils' ping and
# arping, in one run on a lab of two elements. Needs root.
#
#   bench/lab_nmsctl_vs_iputils.sh [ROUNDS]     (default 50)
#
# What is compared, as medians over ROUNDS:
#   echo   the program's own work for one echo: from handing the request to
#          the ICMP socket to having its outcome in the event loop
#          (`ping --timing`), against the round trip ping -c1 reports.
#          Goal: within 0.2 ms.
#   mac    one bounded lookup on a flushed neighbour entry, from the probe to
#          the MAC read from the kernel's table (`resolve`), against the reply
#          time arping -c1 reports. Goal: at most 2 ms more.
#   start  whole processes, `veltrino-nmsctl ping` against `ping -c1`, wall
#          clock: start-up included, for information only (no goal).
# Prints one line per figure and whether the goals are met, and appends them
# to $NMS_BUILD_DIR/bench-nmsctl.txt.
set -uo pipefail

if [ "${1:-}" = --inner ]; then
  # In the station's namespace: the measurements themselves.
  rounds=$2 nmsctl=$3 db=$4
  address=198.18.0.11
  elapsed() { awk -v key="$1" -v a="$2" -v b="$EPOCHREALTIME" 'BEGIN { printf "%s %.3f\n", key, (b - a) * 1000 }'; }
  for ((i = 0; i < rounds; i++)); do
    out=$("$nmsctl" ping ENC-01 --db "$db" --timing)
    sed -n 's/.*(\([0-9]*\) us)$/echo_cli_us \1/p' <<<"$out"
    out=$(ping -n -c1 "$address")
    sed -n 's/.* time=\([0-9.]*\) ms$/echo_ping_ms \1/p' <<<"$out"
    ip neigh flush dev eth0
    out=$("$nmsctl" resolve "$address")
    sed -n 's/.*(\([0-9]*\) us)$/mac_cli_us \1/p' <<<"$out"
    ip neigh flush dev eth0
    out=$(arping -c1 -I eth0 "$address")
    sed -n 's/^Unicast reply.* \([0-9.]*\)ms$/mac_arping_ms \1/p' <<<"$out"
    start=$EPOCHREALTIME
    "$nmsctl" ping ENC-01 --db "$db" >/dev/null
    elapsed start_cli_ms "$start"
    start=$EPOCHREALTIME
    ping -n -c1 "$address" >/dev/null
    elapsed start_ping_ms "$start"
  done
  exit 0
fi

# shellcheck source=../tests/lab/common.sh
source "$(dirname "$0")/../tests/lab/common.sh" tst_LabDiscovery
rounds=${1:-50}
nmsctl=$build_dir/veltrino-nmsctl
results=$build_dir/bench-nmsctl.txt
for tool in arping ping; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (scripts/deps installs it)"; exit 1; }
done
[ -x "$nmsctl" ] || { echo "FAIL: $nmsctl is not built"; exit 1; }
work=$(mktemp -d /tmp/vlab-bench.XXXXXX)
trap 'rm -rf "$work"; timeout 60 "$lab" down >/dev/null 2>&1' EXIT

timeout 60 "$lab" up 2 >/dev/null || { echo "FAIL: scripts/lab up 2"; exit 1; }
timeout 60 "$lab" exec "$nmsctl" discover --db "$work/nms.ini" --save --window 1000 >/dev/null ||
  fail "discover"
timeout $((rounds * 10 + 60)) "$lab" exec bash "$0" --inner "$rounds" "$nmsctl" "$work/nms.ini" \
  >"$work/samples" || fail "the measurements"

median() {
  awk -v key="$1" '$1 == key { print $2 }' "$work/samples" | sort -g |
    awk '{ v[NR] = $1 } END { if (NR == 0) print "nan"; else if (NR % 2) print v[(NR + 1) / 2];
                              else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
count() { awk -v key="$1" '$1 == key' "$work/samples" | wc -l; }

echo_cli=$(awk -v us="$(median echo_cli_us)" 'BEGIN { printf "%.3f", us / 1000 }')
echo_ping=$(median echo_ping_ms)
mac_cli=$(awk -v us="$(median mac_cli_us)" 'BEGIN { printf "%.3f", us / 1000 }')
mac_arping=$(median mac_arping_ms)
start_cli=$(median start_cli_ms)
start_ping=$(median start_ping_ms)

report() {
  # name, ours, theirs, goal (awk condition on d = ours - theirs), goal text
  awk -v name="$1" -v ours="$2" -v theirs="$3" -v n="$4" -v goal="$5" -v text="$6" 'BEGIN {
    d = ours - theirs; ratio = theirs > 0 ? ours / theirs : 0
    met = goal == "" ? "no goal" : ((goal == "echo" && d <= 0.2) || (goal == "mac" && d <= 2) ? "goal met" : "GOAL MISSED")
    printf "%-6s nmsctl %8.3f ms  iputils %8.3f ms  difference %+8.3f ms  ratio %6.2f  (%d rounds)  %s%s\n",
      name, ours, theirs, d, ratio, n, met, text }'
}
{
  report echo "$echo_cli" "$echo_ping" "$(count echo_cli_us)" echo " (within 0.2 ms)"
  report mac "$mac_cli" "$mac_arping" "$(count mac_cli_us)" mac " (at most 2 ms more)"
  report start "$start_cli" "$start_ping" "$(count start_cli_ms)" "" ""
} | tee "$work/report"
sed "s/^/$(date -u +%FT%TZ) /" "$work/report" >>"$results"
grep -q 'GOAL MISSED' "$work/report" && fail "a goal was missed"
finish "figures in $results"
