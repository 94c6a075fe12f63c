#!/usr/bin/env bash
# veltrino-nmsctl on a lab of twenty elements, one row per command line: its
# exit status and what its output must hold. Discovery (its saved file
# against the window's own for the same lab), the port held by another
# program, configuration with agreement, disagreement, time-out and a clone,
# ping and check (with the rights it holds meanwhile), level, attenuation
# and bad usage.
set -uo pipefail

# shellcheck source=common.sh
source "$(dirname "$0")/common.sh" tst_LabDiscovery

nmsctl=$build_dir/veltrino-nmsctl
[ -x "$nmsctl" ] || { echo "FAIL: $nmsctl is not built"; exit 1; }
work=$(mktemp -d /tmp/vlab-nmsctl.XXXXXX)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"; timeout 60 "$lab" down >/dev/null 2>&1' EXIT
db=$work/nms.ini

# row STATUS PATTERN ARGS...: veltrino-nmsctl ARGS in the station's namespace
# must end with STATUS and print (stdout and stderr) a match of PATTERN;
# what it printed is left in $output.
row() {
  local expected=$1 pattern=$2 status
  shift 2
  output=$(timeout 60 "$lab" exec "$nmsctl" "$@" 2>&1)
  status=$?
  [ "$status" = "$expected" ] || fail "nmsctl $*: exit $status, not $expected: $output"
  grep -Eq -- "$pattern" <<<"$output" || fail "nmsctl $*: output lacks /$pattern/: $output"
}

# An INI file's sections, one line each, sorted (answers come in any order).
sections() {
  awk '/^\[/ { if (s != "") print s; s = $0; next } { s = s "|" $0 } END { print s }' "$1" | sort
}

echo "--- discover"
timeout 120 "$lab" up 20 >/dev/null || { echo "FAIL: scripts/lab up 20"; exit 1; }
echo untouched >"$db"
row 0 '^02:00:C6:12:00:0B,ENC-01,ENCODER,198.18.0.11,' discover --db "$db" --format csv --interface eth0
[ "$(tail -n +2 <<<"$output" | wc -l)" = 20 ] || fail "discover listed not 20 elements: $output"
[ "$(cat "$db")" = untouched ] || fail "discover without --save wrote the database"
row 2 "no interface 'nosuch0'" discover --db "$db" --interface nosuch0
row 2 'window needs a whole number from 100 to 60000' discover --db "$db" --window 50
row 0 'DEC-20' discover --db "$db" --save
mkdir -p "$work/window"
probe_in_lab 20 discovery NMS_LAB_DB_DIR="$work/window"
[ "$(sections "$db")" = "$(sections "$work/window/nms.ini")" ] &&
  [ "$(wc -c <"$db")" = "$(wc -c <"$work/window/nms.ini")" ] ||
  fail "discover --save differs from the window's file: $(diff <(sections "$db") <(sections "$work/window/nms.ini") | head -n 5)"

echo "--- the port held by another program"
"$lab" exec timeout 30 python3 -c 'import socket, time
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("0.0.0.0", 2976)); time.sleep(30)' &
for _ in $(seq 50); do
  [ -n "$(ip netns exec vlab-nms ss -Huln 'sport = :2976')" ] && break
  sleep 0.1
done
row 1 '^veltrino-nmsctl: Unable to use UDP port 2976: occupied\.$' discover --db "$db"
row 0 '^VELTRINO OK - .*\(levels not polled: Unable to use UDP port 2976: occupied\.\)' check 198.18.0.12 --db "$db"
kill %1
wait 2>/dev/null

echo "--- set: agreement, disagreement, time-out, a spare taking a failed unit's configuration"
timeout 30 "$lab" sim-start 4 --disagree gw=198.18.0.99 >/dev/null || fail "element 4 disagreeing"
timeout 30 "$lab" sim-stop 5 >/dev/null || fail "stopping element 5"
row 0 '^New configuration has been sucessfuly saved and loaded!$' set DEC-02 name=studio-b sdl=100 --db "$db"
row 0 '^sdl +100$' show studio-b --db "$db"
row 1 "An error occured while saving 'Element GW':" set DEC-04 sdt=40 --db "$db"
cp "$db" "$work/before-timeout"
row 1 'Waiting for a response from Network Element has timed out! Cannot save\.' set ENC-05 tx=1 --db "$db"
cmp -s "$db" "$work/before-timeout" || fail "a set that timed out changed the database"
row 0 '^New configuration has been sucessfuly saved and loaded!$' set DEC-08 --from studio-b --db "$db"
grep -q '^TX .*53545544494f2d42' "$state/el8.rec" || fail "element 8 did not answer as STUDIO-B"

echo "--- ping and check: reachable, stopped, unheld"
sed -n '/^\[0200C6120014\]/,/^SDT=/p' "$db" |
  sed 's/^\[0200C6120014\]/[0200C6120063]/; s/^NAME=DEC-10/NAME=NOBODY/; s/^IP=.*/IP=198.18.0.99/' >>"$db"
timeout 30 "$lab" sim-stop 6 >/dev/null || fail "stopping element 6"
row 0 '^198\.18\.0\.11: [0-9]+ ms$' ping ENC-01 --db "$db" --count 2 --interval 100
row 1 '^198\.18\.0\.99: (Request Timed Out|Destination Host Unreachable)$' ping nobody --db "$db"
# Run as root, it holds no capability while it pings (CAP_NET_RAW stays in
# the bounding set only, for the helper, which holds the one raw socket).
"$lab" exec timeout 60 "$nmsctl" ping nobody --db "$db" --count 3 >/dev/null 2>&1 &
for _ in $(seq 50); do
  helper=$(pgrep -f "^$build_dir/veltrino-nms-icmp$" | head -n 1)
  [ -n "$helper" ] && break
  sleep 0.1
done
cli=$(ps -o ppid= -p "${helper:-0}" | tr -d ' ')
caps=$(grep '^Cap' "/proc/${cli:-0}/status" | tr -s '\t ' ' ' | tr '\n' '|')
[ "$caps" = "CapInh: 0000000000000000|CapPrm: 0000000000000000|CapEff: 0000000000000000|CapBnd: 0000000000002000|CapAmb: 0000000000000000|" ] ||
  fail "veltrino-nmsctl as root holds capabilities: '$caps'"
grep -q '^CapPrm:[[:space:]]*0*$' "/proc/${helper:-0}/status" || fail "the helper kept its rights"
wait %1 2>/dev/null
row 0 '^VELTRINO OK - 1 of 1 answering: ENC-01 [0-9]+ ms, -6dBFS \| rtt=[0-9]+ms;200;500 level=-6dBFS;;-60$' check ENC-01 --db "$db"
row 1 '^VELTRINO WARNING' check ENC-01 --warning-ms 0 --db "$db"
row 0 '^VELTRINO OK - 1 of 1 answering: DEC-06 [0-9]+ ms, no level \| rtt=[0-9]+ms;200;500$' check DEC-06 --db "$db"
row 2 '^VELTRINO CRITICAL - .*NOBODY (Request Timed Out|Destination Host Unreachable)' check --db "$db"
row 2 '^VELTRINO CRITICAL - STUDIO-B [0-9]+ ms, -6dBFS \(silent\)' check 198.18.0.12 --silence-dbfs -3 --db "$db"
row 3 "no element 'ghost'" check ghost --db "$db"

echo "--- level and attenuate"
row 0 '^198\.18\.0\.12: -6dBFS$' level 198.18.0.12 --count 3 --interval 20 --db "$db"
[ "$(grep -c ': -6dBFS$' <<<"$output")" = 3 ] || fail "three polls gave: $output"
row 1 '^198\.18\.0\.16: no answer$' level DEC-06 --db "$db"
row 0 '^STUDIO-B: -27\.5 dB$' attenuate 198.18.0.12 -27.5 --db "$db"
row 0 '^STUDIO-B: Mute$' attenuate 198.18.0.12 mute --db "$db"
[ "$(grep -o '^ATTENUATION code=[0-9]*' "$state/el2.rec" | paste -sd,)" = "ATTENUATION code=200,ATTENUATION code=14" ] ||
  fail "element 2 did not record attenuations 200 then 14"
row 0 '^att +14$' show 198.18.0.12 --db "$db"
row 2 'only a decoder has an output attenuation' attenuate ENC-01 -6 --db "$db"

echo "--- bad usage"
row 2 "unknown command 'frobnicate'" frobnicate --db "$db"
row 2 '^veltrino-nmsctl: no database at /nonexistent/nms\.ini$' list --db /nonexistent/nms.ini
row 2 "^veltrino-nmsctl: no element 'ghost' in the database$" serve ghost --db "$db"
row 2 'serve: --listen needs ADDR:PORT' serve --listen 9798 --db "$db"

finish "all veltrino-nmsctl lab checks passed"
