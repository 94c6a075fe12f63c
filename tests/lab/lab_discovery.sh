#!/usr/bin/env bash
# Discovery by the whole program where the real kernel and disk matter: a
# program killed (SIGKILL) during its writes, a database disk that fills, a
# flood of datagrams, and hostile elements. The plain discovery of twenty is
# lab_nmsctl.sh's, against the CLI's file.
set -uo pipefail

# shellcheck source=common.sh
source "$(dirname "$0")/common.sh" tst_LabDiscovery

# nms.ini holds only whole records: a section of twelve hex digits followed
# by the whole key set of its role, no line cut, no stray byte.
whole_records() {
  [ -f "$1" ] || return 0
  [ ! -s "$1" ] || [ "$(tail -c 1 "$1" | od -An -tx1 | tr -d ' ')" = 0a ] || return 1
  ! LC_ALL=C grep -q $'\r' "$1" || return 1
  LC_ALL=C awk -v enc="NAME IP MASK GW REMOTE INPUT TYPE TX ROLE SN VER SFN BUF" '
    function close_section() { if (keys != "" && keys != enc && keys != enc " ATT SDM SDL SDT") bad = 1 }
    /^\[[0-9A-F]+\]$/ && length($0) == 14 { close_section(); keys = ""; next }
    /^[A-Z]+=/ { key = substr($0, 1, index($0, "=") - 1); keys = keys == "" ? key : keys " " key; next }
    /^$/ { next }
    { bad = 1 }
    END { close_section(); exit bad }' "$1"
}

# A folder for the database that outlives the program, on a tmpfs of the
# given size; removed however the script ends.
database_dirs=()
make_database_dir() {
  local dir
  dir=$(mktemp -d /tmp/vlab-db.XXXXXX) && database_dirs+=("$dir") &&
    mount -t tmpfs -o "size=$1,mode=0755" vlab-db "$dir" && echo "$dir"
}
cleanup() {
  for dir in "${database_dirs[@]}"; do
    umount "$dir" 2>/dev/null
    rm -rf "$dir"
  done
  timeout 60 "$lab" down >/dev/null 2>&1
}
trap cleanup EXIT

timeout 120 "$lab" up 20 >/dev/null || { echo "FAIL: scripts/lab up 20"; exit 1; }

echo "--- killed at random moments of discovery's writes, 20 times"
dbdir=$(make_database_dir 16m) || fail "no tmpfs for the kills"
for round in $(seq 20); do
  "$lab" exec env NMS_LAB=1 NMS_LAB_ELEMENTS=20 NMS_LAB_DB_DIR="$dbdir" QT_QPA_PLATFORM=offscreen \
    "$probe" discovery >"$dbdir/probe.out" 2>&1 &
  pid=$!
  for _ in $(seq 100); do
    grep -q '^DISCOVERING' "$dbdir/probe.out" && break
    sleep 0.05
  done
  sleep "$(printf "0.%03d" $((RANDOM % 300)))"
  kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  whole_records "$dbdir/nms.ini" || fail "round $round: nms.ini is not whole: $(tail -c 200 "$dbdir/nms.ini" | od -c | tail -n 3)"
done
# The kills seldom cut a write short; one such write's file, as it is left.
touch "$dbdir/.nms.ini.tmp-999999-5eed"
probe_in_lab 20 discovery NMS_LAB_DB_DIR="$dbdir"
[ -z "$(find "$dbdir" -name '.nms.ini.tmp-*')" ] || fail "the start after the kills left temporary files"

echo "--- the database's disk fills during discovery"
if dbdir=$(make_database_dir 64k); then
  # One page left: the first record fits, the second (old file and
  # replacement side by side) does not.
  head -c $(($(df --output=avail -B1 "$dbdir" | tail -n 1) - 4096)) /dev/zero >"$dbdir/filler"
  probe_in_lab 20 discovery NMS_LAB_DB_DIR="$dbdir" NMS_LAB_FAULT="full disk"
  whole_records "$dbdir/nms.ini" || fail "the full disk cut a record"
else
  fail "no tmpfs for the full disk"
fi

echo "--- four elements: a flood, then hostile elements"
timeout 60 "$lab" up 4 >/dev/null || { echo "FAIL: scripts/lab up 4"; exit 1; }
probe_in_lab 4 flood
timeout 30 "$lab" sim-start 1 --corrupt 'name=[A]=B\r\n[C]\x01\x7f' >/dev/null || fail "hostile 1"
timeout 30 "$lab" sim-start 2 --serial 2147483650 >/dev/null || fail "hostile 2"
# Element 3 answers from, and reports, an address off the station's link;
# the station accepts datagrams from it (no reverse-path filter).
ip -n vlab-el3 addr add 198.19.0.3/24 dev eth0 &&
  ip -n vlab-el3 route add 198.18.0.1/32 dev eth0 src 198.19.0.3 &&
  ip netns exec vlab-nms sysctl -qw net.ipv4.conf.all.rp_filter=0 net.ipv4.conf.eth0.rp_filter=0 ||
  fail "moving element 3 off-link"
timeout 30 "$lab" sim-start 3 --ip 198.19.0.3 >/dev/null || fail "hostile 3"
ip -n vlab-nms neigh replace 198.18.0.14 lladdr 00:00:00:00:00:00 dev eth0 nud permanent ||
  fail "an all-zero MAC for element 4"
dbdir=$(make_database_dir 1m) || fail "no tmpfs for the hostile elements"
probe_in_lab 4 discovery NMS_LAB_DB_DIR="$dbdir" NMS_LAB_FAULT=hostile
whole_records "$dbdir/nms.ini" || fail "the hostile elements' records are not whole"

finish "all discovery lab checks passed"
