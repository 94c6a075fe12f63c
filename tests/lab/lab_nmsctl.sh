#!/usr/bin/env bash
# veltrino-nmsctl on the lab network: discovery of twenty elements (and its
# saved file against the window's own for the same lab), configuration with
# agreement, disagreement and time-out, a refused bound, a configuration
# cloned to a spare, ping and check against a reachable
# element, a stopped simulator and an address nobody holds, the level of
# the simulators' -6 dBFS tone, and a decoder's attenuation. One table per
# command: each row is a command line, its exit status and what its output
# must hold.
set -uo pipefail

# shellcheck source=common.sh
source "$(dirname "$0")/common.sh" tst_LabDiscovery

nmsctl=$build_dir/veltrino-nmsctl
[ -x "$nmsctl" ] || { echo "FAIL: $nmsctl is not built"; exit 1; }

work=$(mktemp -d /tmp/vlab-nmsctl.XXXXXX)
holder=
cleanup() {
  [ -n "$holder" ] && kill "$holder" 2>/dev/null
  rm -rf "$work"
  timeout 60 "$lab" down >/dev/null 2>&1
}
trap cleanup EXIT
db=$work/nms.ini

# row STATUS PATTERN ARGS...: runs veltrino-nmsctl ARGS in the station's
# namespace; its exit status must be STATUS and its output (stdout and
# stderr) must match the extended regular expression PATTERN.
row() {
  local expected=$1 pattern=$2 status output
  shift 2
  output=$(timeout 60 "$lab" exec "$nmsctl" "$@" 2>&1)
  status=$?
  [ "$status" = "$expected" ] || fail "nmsctl $*: exit $status, not $expected: $output"
  grep -Eq -- "$pattern" <<<"$output" || fail "nmsctl $*: output lacks /$pattern/: $output"
}

# The sections of an INI file, each as one line, sorted: answers arrive in
# no fixed order, so two discoveries of one lab differ only in that.
sections() {
  awk '/^\[/ { if (s != "") print s; s = $0; next } { s = s "|" $0 } END { if (s != "") print s }' "$1" | sort
}

echo "--- discover: twenty elements"
timeout 120 "$lab" up 20 >/dev/null || { echo "FAIL: scripts/lab up 20"; exit 1; }
echo untouched >"$db"
row 0 '^02:00:C6:12:00:0B,ENC-01,ENCODER,198.18.0.11,' discover --db "$db" --format csv
rows=$("$lab" exec "$nmsctl" discover --db "$db" --format csv | tail -n +2 | wc -l)
[ "$rows" = 20 ] || fail "discover listed $rows elements, not 20"
[ "$(cat "$db")" = untouched ] || fail "discover without --save wrote the database"
row 0 '"name": "DEC-20"' discover --db "$db" --interface eth0 --format json --window 1000
row 2 "no interface 'nosuch0'" discover --db "$db" --interface nosuch0
row 2 'window needs a whole number from 100 to 60000' discover --db "$db" --window 50
row 0 'DEC-20' discover --db "$db" --save

echo "--- discover --save against the window's file for the same lab"
mkdir -p "$work/window"
timeout 120 "$lab" exec env NMS_LAB=1 NMS_LAB_ELEMENTS=20 NMS_LAB_DB_DIR="$work/window" \
  QT_QPA_PLATFORM=offscreen "$probe" discoveryRecordsEveryElement >/dev/null ||
  fail "the window's discovery"
if [ "$(sections "$db")" != "$(sections "$work/window/nms.ini")" ]; then
  fail "discover --save differs from the window's file: $(diff <(sections "$db") <(sections "$work/window/nms.ini") | head -n 5)"
fi
[ "$(wc -c <"$db")" = "$(wc -c <"$work/window/nms.ini")" ] || fail "the two files differ in size"

echo "--- the port held by another program"
timeout 60 "$lab" exec python3 -c 'import socket, time
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("0.0.0.0", 2976)); time.sleep(30)' &
holder=$!
for _ in $(seq 50); do
  [ -n "$(ip netns exec vlab-nms ss -Huln 'sport = :2976')" ] && break
  sleep 0.1
done
row 1 '^veltrino-nmsctl: Unable to use UDP port 2976: occupied\.$' discover --db "$db"
row 0 '^VELTRINO OK - .*\(levels not polled: Unable to use UDP port 2976: occupied\.\)' check 198.18.0.12 --db "$db"
row 0 '^198\.18\.0\.11: [0-9]+ ms$' ping ENC-01 --db "$db"
kill "$holder"
wait "$holder" 2>/dev/null
holder=

echo "--- set: agreement, disagreement, time-out"
timeout 30 "$lab" sim-start 4 --disagree gw=198.18.0.99 >/dev/null || fail "element 4 disagreeing"
timeout 30 "$lab" sim-stop 5 >/dev/null || fail "stopping element 5"
row 0 '^New configuration has been sucessfuly saved and loaded!$' set DEC-02 name=studio-b sdl=100 \
  --db "$db"
row 0 '^sdl +100$' show 02:00:c6:12:00:0c --db "$db"
row 0 '^name +STUDIO-B$' show studio-b --db "$db"
row 1 "An error occured while saving 'Element GW':" set DEC-04 sdt=40 --db "$db"
row 0 '^gw +198\.18\.0\.254$' show DEC-04 --db "$db"
cp "$db" "$work/before-timeout"
row 1 'Waiting for a response from Network Element has timed out! Cannot save\.' set ENC-05 tx=1 \
  --db "$db"
cmp -s "$db" "$work/before-timeout" || fail "a set that timed out changed the database"

echo "--- set: bound never adds a line; a spare takes a failed unit's configuration"
cp "$db" "$work/before-bound"
row 2 'the bound encoder is read from the record, never written' set 02:00:c6:12:00:0c bound=1 \
  --db "$db"
cmp -s "$db" "$work/before-bound" || fail "set bound=1 changed the database"
longest=$(awk '/^\[/ { if (n > max) max = n; n = 0; next } NF { n++ } END { if (n > max) max = n; print max }' "$db")
[ "$longest" -le 17 ] || fail "a record has $longest lines"
row 0 '^bound +0$' show 02:00:c6:12:00:0c --db "$db"
row 2 'the roles differ' set ENC-01 --from studio-b --db "$db"
cmp -s "$db" "$work/before-bound" || fail "a refused clone changed the database"
# DEC-08 replaces STUDIO-B (DEC-02): it keeps its own address and takes the rest.
row 0 '^New configuration has been sucessfuly saved and loaded!$' set DEC-08 --from studio-b \
  --db "$db"
grep -q '^TX .*53545544494f2d42' "$state/el8.rec" || fail "element 8 did not answer as STUDIO-B"
row 0 '^mac +02:00:C6:12:00:12$' show 198.18.0.18 --db "$db"
row 0 '^sdl +100$' show 198.18.0.18 --db "$db"
row 0 '^name +STUDIO-B$' show 02:00:c6:12:00:12 --db "$db"

echo "--- ping and check: reachable, stopped, unheld"
# A record for an address nobody holds, copied from a real one.
sed -n '/^\[0200C6120014\]/,/^SDT=/p' "$db" |
  sed 's/^\[0200C6120014\]/[0200C6120063]/; s/^NAME=DEC-10/NAME=NOBODY/; s/^IP=.*/IP=198.18.0.99/' >>"$db"
timeout 30 "$lab" sim-stop 6 >/dev/null || fail "stopping element 6"
row 0 '^198\.18\.0\.11: [0-9]+ ms$' ping ENC-01 --db "$db" --count 2 --interval 100
row 0 '^198\.18\.0\.16: [0-9]+ ms$' ping DEC-06 --db "$db"
row 1 '^198\.18\.0\.99: (Request Timed Out|Destination Host Unreachable)$' ping nobody --db "$db"
row 2 "no element 'ghost'" ping ghost --db "$db"
# Run as root, it holds no capability while it pings (CAP_NET_RAW is left
# only in the bounding set, for the helper), and its helper holds the one
# raw socket.
timeout 60 "$lab" exec "$nmsctl" ping nobody --db "$db" --count 3 >/dev/null 2>&1 &
pinger=$!
helper_pid=
for _ in $(seq 50); do
  helper_pid=$(pgrep -f "^$build_dir/veltrino-nms-icmp$" | head -n 1)
  [ -n "$helper_pid" ] && break
  sleep 0.1
done
cli_pid=$(ps -o ppid= -p "${helper_pid:-0}" | tr -d ' ')
if [ -z "$helper_pid" ] || [ -z "$cli_pid" ]; then
  fail "no ICMP helper while veltrino-nmsctl pings"
else
  caps=$(grep '^Cap' "/proc/$cli_pid/status" | tr -s '\t ' ' ' | tr '\n' '|')
  [ "$caps" = "CapInh: 0000000000000000|CapPrm: 0000000000000000|CapEff: 0000000000000000|CapBnd: 0000000000002000|CapAmb: 0000000000000000|" ] ||
    fail "veltrino-nmsctl as root holds capabilities: $caps"
  grep -q '^CapPrm:[[:space:]]*0*$' "/proc/$helper_pid/status" || fail "the helper kept its rights"
fi
wait "$pinger" 2>/dev/null
row 2 "'studio' is ambiguous|no element" ping studio --db "$db"
row 0 '^VELTRINO OK - 1 of 1 answering: ENC-01 [0-9]+ ms, -6dBFS \| rtt=[0-9]+ms;200;500 level=-6dBFS;;-60$' check ENC-01 --db "$db"
row 0 '^VELTRINO OK .* \| rtt=[0-9]+ms;200;500 level=-6dBFS;;-60$' check 198.18.0.12 --db "$db"
row 1 '^VELTRINO WARNING' check ENC-01 --warning-ms 0 --db "$db"
row 0 '^VELTRINO OK - 1 of 1 answering: DEC-06 [0-9]+ ms, no level \| rtt=[0-9]+ms;200;500$' check DEC-06 --db "$db"
row 2 '^VELTRINO CRITICAL - NOBODY (Request Timed Out|Destination Host Unreachable)' check nobody --db "$db"
row 2 '^VELTRINO CRITICAL - .*NOBODY' check --db "$db"
row 2 '^VELTRINO CRITICAL - STUDIO-B [0-9]+ ms, -6dBFS \(silent\)' check 198.18.0.12 --silence-dbfs -3 --db "$db"
row 3 "no element 'ghost'" check ghost --db "$db"
row 3 'Unknown option' check --frobnicate --db "$db"

echo "--- level: the -6 dBFS tone"
row 0 '^198\.18\.0\.12: -6dBFS$' level 198.18.0.12 --count 3 --interval 20 --db "$db"
levels=$("$lab" exec "$nmsctl" level 198.18.0.12 --count 3 --interval 20 --db "$db" | grep -c ': -6dBFS$')
[ "$levels" = 3 ] || fail "three polls gave $levels levels of -6dBFS"
row 1 '^198\.18\.0\.16: no answer$' level DEC-06 --db "$db"

echo "--- attenuate"
row 0 '^STUDIO-B: -27\.5 dB$' attenuate 198.18.0.12 -27.5 --db "$db"
row 0 '^att +200$' show 198.18.0.12 --db "$db"
row 0 '^STUDIO-B: Mute$' attenuate 198.18.0.12 mute --db "$db"
grep -q '^ATTENUATION code=14$' "$state/el2.rec" || fail "element 2 did not record attenuation 14"
grep -q '^ATTENUATION code=200$' "$state/el2.rec" || fail "element 2 did not record attenuation 200"
row 2 'only a decoder has an output attenuation' attenuate ENC-01 -6 --db "$db"
row 2 'neither "mute" nor -120 to 0 dB' attenuate 198.18.0.12 -0.3 --db "$db"

echo "--- bad input"
row 2 "unknown command 'frobnicate'" frobnicate --db "$db"
row 2 '^veltrino-nmsctl: no database at /nonexistent/nms\.ini$' list --db /nonexistent/nms.ini
row 2 "^veltrino-nmsctl: no element 'ghost' in the database$" serve ghost --db "$db"
row 2 'serve: --listen needs ADDR:PORT' serve --listen 9798 --db "$db"

finish "all veltrino-nmsctl lab checks passed"
