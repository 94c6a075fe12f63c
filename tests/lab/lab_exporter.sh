#!/usr/bin/env bash
# veltrino-nmsctl serve on the lab network, scraped by a real Prometheus
# server (Debian's prometheus, on the station's loopback, with its own
# configuration and storage). The exporter runs as its service unit runs it:
# an ordinary user, no_new_privs, CAP_NET_RAW only as an ambient capability,
# and net.ipv4.ping_group_range at "1 0", so it pings through helpers it
# starts before it drops. Read back through Prometheus' HTTP API: every
# running element up, the -6 dBFS tone, no capability and no raw socket left
# in the exporter, promtool on a scrape, a link taken down, a level that
# stops, 1000 idle connections and a 1 MB request line with no failed scrape,
# and SIGTERM ending it with status 0.
set -uo pipefail

# shellcheck source=common.sh
source "$(dirname "$0")/common.sh" tst_LabDiscovery

nmsctl=$build_dir/veltrino-nmsctl
for program in "$nmsctl" prometheus promtool curl setpriv; do
  command -v "$program" >/dev/null || { echo "FAIL: $program is missing (scripts/deps)"; exit 1; }
done
readonly EXPORTER=127.0.0.1:19798 PROMETHEUS=127.0.0.1:19090
work=$(mktemp -d /tmp/vlab-exporter.XXXXXX)
trap 'kill $(jobs -p) 2>/dev/null; wait; rm -rf "$work"; timeout 60 "$lab" down >/dev/null 2>&1' EXIT
in_station() { timeout 30 ip netns exec vlab-nms "$@"; }

# expect PROMQL VALUE SECONDS WHAT: until the query's first sample is VALUE.
expect() {
  local got='' deadline=$((SECONDS + $3))
  while ((SECONDS < deadline)); do
    got=$(in_station curl -fsS "http://$PROMETHEUS/api/v1/query" --data-urlencode "query=$1" 2>/dev/null |
      python3 -c 'import json, sys
try: r = json.load(sys.stdin)["data"]["result"]
except ValueError: r = []
print(r[0]["value"][1] if r else "")')
    [ "$got" = "$2" ] && return 0
    sleep 0.5
  done
  fail "$4: $1 is '$got', not $2"
}

timeout 120 "$lab" up 4 >/dev/null || { echo "FAIL: scripts/lab up 4"; exit 1; }
db=$work/nms.ini
in_station "$nmsctl" discover --db "$db" --save --window 1000 >/dev/null || fail "discover --save"
chmod 755 "$work" && chmod 644 "$db"
ip netns exec vlab-nms sysctl -qw net.ipv4.ping_group_range="1 0" || fail "ping_group_range"
ip netns exec vlab-nms setpriv --reuid=nobody --regid=nogroup --clear-groups --no-new-privs \
  --inh-caps=+net_raw --ambient-caps=+net_raw \
  "$nmsctl" serve --db "$db" --listen "$EXPORTER" --interval 1 2>"$work/exporter.err" &
exporter=$!
cat >"$work/prometheus.yml" <<CONFIG
global: {scrape_interval: 1s, scrape_timeout: 900ms, evaluation_interval: 1s}
scrape_configs: [{job_name: veltrino, static_configs: [{targets: ['$EXPORTER']}]}]
CONFIG
ip netns exec vlab-nms prometheus --config.file="$work/prometheus.yml" --log.level=warn \
  --storage.tsdb.path="$work/tsdb" --web.listen-address="$PROMETHEUS" 2>"$work/prometheus.log" &

echo "--- every running element up, the -6 dBFS tone"
expect 'count(veltrino_element_up == 1)' 4 30 "running elements"
expect 'veltrino_element_level_dbfs{name="ENC-01"}' -6 10 "the tone of ENC-01"
expect 'veltrino_level_polling' 1 5 "level polling"

echo "--- no capability and no raw socket in the exporter, only in its helpers"
grep -E '^Cap(Prm|Eff|Amb):' "/proc/$exporter/status" | grep -qv '0000000000000000$' &&
  fail "the exporter holds capabilities: $(grep '^Cap' "/proc/$exporter/status" | tr '\n' ' ')"
raw=$(awk 'NR > 1 {print "socket:[" $10 "]"}' "/proc/$exporter/net/raw")
[ -n "$raw" ] || fail "no helper holds a raw socket"
(($(wc -l <<<"$raw") <= 16)) || fail "more raw sockets than the 16 helpers: $raw"
for fd in "/proc/$exporter"/fd/*; do
  grep -qxF "$(readlink "$fd")" <<<"$raw" && fail "the exporter's $fd is a raw socket"
done

echo "--- promtool check metrics on a scrape"
in_station curl -fsS "http://$EXPORTER/metrics" | promtool check metrics >"$work/promtool.txt" 2>&1 ||
  fail "promtool check metrics: $(cat "$work/promtool.txt")"

echo "--- a link taken down, a level that stops"
ip netns exec vlab-el3 ip link set eth0 down || fail "link of element 3 down"
timeout 30 "$lab" sim-start 4 --no-answer-to level >/dev/null || fail "restarting element 4"
expect 'veltrino_element_up{name="ENC-03"}' 0 15 "ENC-03 with its link down"
expect 'veltrino_element_level_alarm{name="DEC-04"}' 1 15 "DEC-04 no longer answering VOL"
expect 'count(veltrino_element_up == 1)' 3 5 "the other elements"

echo "--- 1000 idle connections and a 1 MB request line while Prometheus scrapes"
start=$SECONDS
in_station python3 - "$EXPORTER" <<'PY' || fail "the robustness clients"
import resource, socket, sys, time
host, port = sys.argv[1].split(":")
resource.setrlimit(resource.RLIMIT_NOFILE, (4096, 4096))  # run as root
idle = [socket.create_connection((host, int(port)), timeout=5) for _ in range(1000)]
big = socket.create_connection((host, int(port)), timeout=5)
try:
    big.sendall(b"GET /" + b"a" * (1 << 20) + b" HTTP/1.1\r\n\r\n")
    answer = big.recv(64)
except OSError:
    answer = b""  # closed while sending: refused, as it should be
if answer and not answer.startswith(b"HTTP/1.1 4"):
    sys.exit("the 1 MB request line got " + repr(answer))
fresh = socket.create_connection((host, int(port)), timeout=5)  # Prometheus keeps its own
fresh.sendall(b"GET /metrics HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n")
if b" 200 " not in fresh.recv(64):
    sys.exit("a new connection among the idle ones got no page")
time.sleep(6)  # hold the idle ones across several scrapes
PY
sleep 2
window=$((SECONDS - start + 1))
expect "min_over_time(up{job=\"veltrino\"}[${window}s])" 1 5 "no failed scrape"

echo "--- SIGTERM ends it with status 0"
kill -TERM "$exporter"
timeout 10 tail --pid="$exporter" -f /dev/null || fail "the exporter did not end on SIGTERM"
wait "$exporter"
status=$?
[ "$status" = 0 ] || fail "the exporter ended with status $status: $(cat "$work/exporter.err")"

finish "PASS: the exporter against the lab and Prometheus"
