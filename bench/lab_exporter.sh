#!/usr/bin/env bash
# veltrino-nmsctl serve against a lab of many elements (`scripts/lab
# up-many`). Needs root.
#
#   bench/lab_exporter.sh [SECONDS] [INTERVAL] [COUNT]   (default 300 15 500)
#
# Records, with the goals the figures are read against:
#   round    the longest polling round seen (veltrino_poll_duration_seconds,
#            read at every scrape). Goal: under 2 s.
#   cpu      the exporter's CPU time over SECONDS at INTERVAL, scraped once
#            per interval as Prometheus would, in % of one core. Goal: under 1%.
#   p99      scrape latency, over 1000 scrapes one after another on one kept
#            connection once the CPU window is over. Goal: under 20 ms.
#   peak     the exporter's peak resident memory (VmHWM).
# Prints one BENCH line and appends it to $NMS_BUILD_DIR/bench-exporter.txt.
set -uo pipefail

# shellcheck source=../tests/lab/common.sh
source "$(dirname "$0")/../tests/lab/common.sh" tst_LabDiscovery
seconds=${1:-300} interval=${2:-15} count=${3:-500}
nmsctl=$build_dir/veltrino-nmsctl
results=$build_dir/bench-exporter.txt
readonly EXPORTER=127.0.0.1:19798
work=$(mktemp -d /tmp/vlab-bench-exporter.XXXXXX)
exporter=
trap '[ -n "$exporter" ] && kill "$exporter" 2>/dev/null; rm -rf "$work"; timeout 60 "$lab" down >/dev/null 2>&1' EXIT
in_station() { ip netns exec vlab-nms "$@"; }
scrape() { in_station curl -fsS "http://$EXPORTER/metrics"; }
metric() { awk -v name="$1" '$1 == name { print $2 }'; }
# The exporter's CPU with its ICMP helpers' (children still running).
cpu_ticks() {
  local pids
  pids=$(pgrep -P "$exporter" | sed 's|.*|/proc/&/stat|')
  # shellcheck disable=SC2086
  awk '{ sub(/^.*\) /, ""); total += $12 + $13 } END { print total }' "/proc/$exporter/stat" $pids
}

timeout 180 "$lab" up-many "$count" >/dev/null || { echo "FAIL: scripts/lab up-many $count"; exit 1; }
db=$work/nms.ini
timeout 60 "$lab" exec "$nmsctl" discover --db "$db" --save --window 3000 >/dev/null ||
  fail "discover --save"
stored=$(grep -c '^\[' "$db")

# ip netns exec runs the program in its own place, so $! is the exporter.
ip netns exec vlab-nms "$nmsctl" serve --db "$db" --listen "$EXPORTER" --interval "$interval" \
  2>"$work/err" &
exporter=$!
for _ in $(seq 100); do
  [ "$(scrape 2>/dev/null | metric veltrino_polls_total)" = 1 ] && break
  sleep 0.1
done

longest=0 up=0
start_ticks=$(cpu_ticks) start=$EPOCHREALTIME
for ((elapsed = 0; elapsed < seconds; elapsed += interval)); do
  sleep "$interval"
  page=$(scrape) || { fail "a scrape failed"; continue; }
  round=$(metric veltrino_poll_duration_seconds <<<"$page")
  up=$(grep -c '^veltrino_element_up{.*} 1$' <<<"$page")
  longest=$(awk -v a="$longest" -v b="$round" 'BEGIN { print (b > a ? b : a) }')
done
cpu=$(awk -v t="$(($(cpu_ticks) - start_ticks))" -v hz="$(getconf CLK_TCK)" \
  -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.3f", 100 * t / hz / (b - a) }')

# One client on a kept connection, as Prometheus scrapes: the time from
# sending the request to having read the whole page.
p99=$(in_station python3 - "$EXPORTER" <<'PY'
import http.client, sys, time
host, port = sys.argv[1].split(":")
connection = http.client.HTTPConnection(host, int(port), timeout=5)
times = []
for _ in range(1000):
    start = time.perf_counter()
    connection.request("GET", "/metrics")
    response = connection.getresponse()
    response.read()
    if response.status != 200:
        sys.exit("scrape answered %d" % response.status)
    times.append(time.perf_counter() - start)
times.sort()
print("%.2f" % (1000 * times[int(len(times) * 0.99) - 1]))
PY
)
peak=$(awk '/^VmHWM:/ { printf "%.1f", $2 / 1024 }' "/proc/$exporter/status")

line="BENCH exporter elements=$count stored=$stored up=$up interval_s=$interval window_s=$seconds"
line+=" round_max_s=$longest cpu_pct=$cpu scrape_p99_ms=$p99 peak_rss_mib=$peak"
echo "$(date -u +%FT%TZ) $line" | tee -a "$results"
awk -v r="$longest" -v c="$cpu" -v p="$p99" 'BEGIN {
  printf "goals: round < 2 s %s, cpu < 1%% %s, p99 < 20 ms %s\n",
    (r < 2 ? "met" : "MISSED"), (c < 1 ? "met" : "MISSED"), (p < 20 ? "met" : "MISSED") }'
finish "figures in $results"
