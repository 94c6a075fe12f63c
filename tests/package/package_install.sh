#!/usr/bin/env bash
# Builds the Debian package, checks it with lintian, installs it with apt as
# an operator would, checks that only the ICMP helper holds cap_net_raw,
# pings as an ordinary user from a network namespace whose
# net.ipv4.ping_group_range is "1 0" (the CLI, then the window under Xvfb
# with a plugin from QT_PLUGIN_PATH inside it that looks for a raw socket),
# and purges the package again, checking that nothing of it is left under
# /usr.
set -uo pipefail

if [ "$(id -u)" -ne 0 ]; then
  echo "SKIP: installing a package needs root"
  exit 77
fi
if dpkg-query -W -f='${Status}' veltrino-nms 2>/dev/null | grep -q 'install ok installed'; then
  echo "SKIP: veltrino-nms is installed on this machine; this check would replace and purge it"
  exit 77
fi

source_dir=${NMS_SOURCE_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}
program=/usr/bin/veltrino-nms
nmsctl=/usr/bin/veltrino-nmsctl
helper=/usr/libexec/veltrino-nms-icmp
title="Veltrino NMS v.3.4.0 - Orbelund Broadcast"
work=$(mktemp -d)
chmod 755 "$work"
program_pid=
xvfb_pid=
installed=0
# The station's namespace and the peer's, addressed from 198.18.20.0/24.
station=vpkg-station-$$
peer=vpkg-peer-$$

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

cleanup() {
  [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  ip netns del "$station" 2>/dev/null
  ip netns del "$peer" 2>/dev/null
  if [ "$installed" -eq 1 ]; then
    timeout 300 apt-get purge -y -qq veltrino-nms >/dev/null 2>&1
  fi
  rm -rf "$work"
}
trap cleanup EXIT

echo "== build the package"
if ! "$source_dir/scripts/package" >"$work/package.log" 2>&1; then
  cat "$work/package.log"
  echo "FAIL: scripts/package failed"
  exit 1
fi
deb=$(tail -n 1 "$work/package.log")
case "$(basename "$deb")" in
  veltrino-nms_3.4.0_amd64.deb) ;;
  *) fail "package named $(basename "$deb"), not veltrino-nms_3.4.0_amd64.deb" ;;
esac
dpkg-deb --field "$deb" Package Version Section Maintainer Depends

echo "== lintian"
if ! timeout 600 lintian --fail-on error "$deb"; then
  fail "lintian reports errors"
fi

echo "== install"
export DEBIAN_FRONTEND=noninteractive
if ! timeout 600 apt-get install -y -qq "$deb" >"$work/apt.log" 2>&1; then
  cat "$work/apt.log"
  echo "FAIL: apt-get install $deb failed"
  exit 1
fi
installed=1
dpkg -L veltrino-nms >"$work/files"

app_id=com.orbelund.VeltrinoNms
expected=("$program" "$nmsctl" "$helper" /usr/bin/veltrino-element-sim
  "/usr/share/applications/$app_id.desktop" "/usr/share/metainfo/$app_id.metainfo.xml"
  "/usr/share/icons/hicolor/scalable/apps/$app_id.svg"
  /usr/share/man/man1/veltrino-nms.1.gz /usr/share/man/man1/veltrino-element-sim.1.gz
  /usr/share/man/man8/veltrino-nms-icmp.8.gz
  /usr/share/doc/veltrino-nms/copyright)
for size in 16 24 32 48 64 128 256; do
  expected+=("/usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png")
done
for path in "${expected[@]}"; do
  [ -f "$path" ] || fail "$path is not installed"
done
desktop-file-validate "/usr/share/applications/$app_id.desktop" || fail "desktop entry invalid"
appstreamcli validate --no-net "/usr/share/metainfo/$app_id.metainfo.xml" ||
  fail "AppStream metadata invalid"

echo "== ping capability: the helper alone"
capabilities=$(getcap "$helper")
echo "$capabilities"
case "$capabilities" in
  *"cap_net_raw=p") ;;
  *) fail "$helper has not cap_net_raw in the permitted set alone" ;;
esac
for path in "$program" "$nmsctl"; do
  [ -z "$(getcap "$path")" ] || fail "$path holds a capability: $(getcap "$path")"
done

echo "== veltrino-nmsctl --version"
"$nmsctl" --version || fail "veltrino-nmsctl --version failed"

echo "== a station namespace with ping_group_range \"1 0\", and a peer"
ip netns add "$station" && ip netns add "$peer" &&
  ip -n "$station" link set lo up && ip -n "$peer" link set lo up &&
  ip -n "$station" link add vs type veth peer name vp netns "$peer" &&
  ip -n "$station" addr add 198.18.20.1/24 dev vs && ip -n "$peer" addr add 198.18.20.2/24 dev vp &&
  ip -n "$station" link set vs up && ip -n "$peer" link set vp up &&
  ip -n "$station" route add unreachable 198.18.21.0/24 &&
  ip -n "$station" neigh add 198.18.20.250 lladdr 02:00:00:00:00:fa dev vs nud permanent ||
  fail "cannot build the test network"
range=$(ip netns exec "$station" sysctl -n net.ipv4.ping_group_range | xargs)
[ "$range" = "1 0" ] || fail "ping_group_range of a new namespace is \"$range\", not \"1 0\""

user_home="$work/home"
runtime="$work/runtime"
database_dir="$user_home/.local/share/Orbelund/veltrino-nms"
mkdir -p "$runtime" "$database_dir"
# Three encoders: one that answers, one nobody holds, one behind an
# unreachable route.
record() { # MAC NAME IP
  printf '[%s]\nNAME=%-16s\nIP=%s\nMASK=255.255.255.0\nGW=198.18.20.254\nREMOTE=198.18.20.9\n' "$1" "$2" "$3"
  printf 'INPUT=0\nTYPE=0\nTX=0\nROLE=1\nSN=1\nVER=3.4\nSFN=0\nBUF=1\n'
}
{
  record 0200C6121402 LIVE 198.18.20.2
  record 0200C61214FA NOBODY 198.18.20.250
  record 0200C6121505 UNREACHABLE 198.18.21.5
} >"$database_dir/nms.ini"
chown -R nobody:nogroup "$user_home" "$runtime"
chmod 700 "$runtime"
as_user() {
  ip netns exec "$station" setpriv --reuid=nobody --regid=nogroup --clear-groups \
    env -i HOME="$user_home" XDG_RUNTIME_DIR="$runtime" PATH=/usr/bin:/bin "$@"
}

# The descriptors of a process that are raw sockets of its namespace.
raw_fds() { # PID
  local pid=$1 inodes fd
  inodes=$(awk 'NR > 1 { print $10 }' "/proc/$pid/net/raw" 2>/dev/null)
  for fd in /proc/"$pid"/fd/*; do
    case "$(readlink "$fd" 2>/dev/null)" in
      "socket:["*"]")
        inode=$(readlink "$fd" | tr -dc 0-9)
        grep -qx "$inode" <<<"$inodes" && echo "${fd##*/}"
        ;;
    esac
  done
}

echo "== veltrino-nmsctl ping as an ordinary user"
check_ping() { # ELEMENT EXPECTED-STATUS EXPECTED-TEXT
  local output status
  output=$(as_user timeout 30 "$nmsctl" ping "$1" 2>&1)
  status=$?
  echo "$output"
  [ "$status" -eq "$2" ] && grep -Eq "$3" <<<"$output" ||
    fail "ping $1: status $status, output \"$output\" (expected $2, /$3/)"
}
check_ping LIVE 0 '^198\.18\.20\.2: [0-9]+ ms$'
check_ping NOBODY 1 '^198\.18\.20\.250: Request Timed Out$'
check_ping UNREACHABLE 1 '^198\.18\.21\.5: Destination Host Unreachable$'
# As the exporter's unit runs it: no_new_privs, which keeps the helper's file
# capability from being raised beyond the caller's, and CAP_NET_RAW only as
# an ambient capability; the program starts its helper before it drops it.
output=$(ip netns exec "$station" setpriv --reuid=nobody --regid=nogroup --clear-groups \
  --no-new-privs --inh-caps=+net_raw --ambient-caps=+net_raw \
  env -i HOME="$user_home" XDG_RUNTIME_DIR="$runtime" timeout 30 "$nmsctl" ping LIVE 2>&1)
grep -Eq '^198\.18\.20\.2: [0-9]+ ms$' <<<"$output" ||
  fail "ping under no_new_privs with an ambient CAP_NET_RAW: $output"
# While it pings, the CLI holds no raw socket; its helper holds the one.
as_user "$nmsctl" ping LIVE --count 20 --interval 100 >/dev/null 2>&1 &
cli_pid=$!
helper_pid=
for _ in $(seq 50); do
  # The name as the kernel keeps it, cut to 15 characters.
  helper_pid=$(pgrep -u nobody -x veltrino-nms-ic | head -n 1)
  [ -n "$helper_pid" ] && break
  sleep 0.1
done
cli=$(pgrep -u nobody -x veltrino-nmsctl | head -n 1)
if [ -z "$helper_pid" ] || [ -z "$cli" ]; then
  fail "no ICMP helper under veltrino-nmsctl while it pings"
else
  [ -z "$(raw_fds "$cli")" ] || fail "veltrino-nmsctl holds a raw socket: fd $(raw_fds "$cli")"
  grep -q '^CapPrm:[[:space:]]*0*$' "/proc/$cli/status" || fail "veltrino-nmsctl holds capabilities"
  [ "$(raw_fds "$helper_pid" | wc -l)" -eq 1 ] || fail "the helper does not hold its raw socket"
  grep -q '^CapPrm:[[:space:]]*0*$' "/proc/$helper_pid/status" || fail "the helper kept cap_net_raw"
fi
wait "$cli_pid" 2>/dev/null

echo "== the installed window as an ordinary user, with a plugin of the user's inside"
probe_build="$work/probe"
if ! cmake -S "$source_dir/tests/package/probe" -B "$probe_build" -G Ninja >"$work/probe.log" 2>&1 ||
  ! cmake --build "$probe_build" >>"$work/probe.log" 2>&1; then
  cat "$work/probe.log"
  fail "cannot build the plugin"
fi
chmod -R a+rX "$probe_build"
report="$runtime/probe-report"
Xvfb -displayfd 5 -nolisten tcp -ac -screen 0 1280x1024x24 5>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
  [ -s "$work/display" ] && break
  sleep 0.1
done
display=":$(head -n 1 "$work/display")"
if [ "$display" = ":" ]; then
  cat "$work/xvfb.log"
  echo "FAIL: Xvfb did not start"
  exit 1
fi
as_user DISPLAY="$display" QT_PLUGIN_PATH="$probe_build/plugins" \
  QT_QPA_GENERIC_PLUGINS=rawsocketprobe NMS_PROBE_REPORT="$report" \
  "$program" >"$work/program.log" 2>&1 &
window=0
for _ in $(seq 150); do
  if xwininfo -display "$display" -root -tree 2>/dev/null | grep -qF "\"$title\""; then
    window=1
    break
  fi
  sleep 0.2
done
program_pid=$(pgrep -u nobody -x veltrino-nms | head -n 1)
if [ "$window" -eq 1 ]; then
  echo "window \"$title\" is shown"
else
  cat "$work/program.log"
  fail "the installed program showed no window titled \"$title\""
fi
# The plugin selects each element and pings it; the window's own texts.
for _ in $(seq 300); do
  grep -q '^DONE$' "$report" 2>/dev/null && break
  sleep 0.1
done
cat "$report" 2>/dev/null
grep -q '^LOADED$' "$report" 2>/dev/null || fail "the window did not load the plugin"
pings=$(grep '^PING' "$report" 2>/dev/null | tr '\n' '|')
[[ "$pings" =~ ^PING\ [0-9]+\ ms\|PING\ Request\ Timed\ Out\|PING\ Destination\ Host\ Unreachable\|$ ]] ||
  fail "the window's pings showed \"$pings\""
grep -q '^RAW' "$report" && fail "the plugin found a raw socket in the window"
if [ -n "$program_pid" ]; then
  grep '^Cap' "/proc/$program_pid/status"
  grep -q '^CapPrm:[[:space:]]*0*$' "/proc/$program_pid/status" || fail "the window holds capabilities"
  [ -z "$(raw_fds "$program_pid")" ] || fail "the window holds a raw socket"
fi
kill "$program_pid" 2>/dev/null
wait "$program_pid" 2>/dev/null
program_pid=
kill "$xvfb_pid" 2>/dev/null
wait "$xvfb_pid" 2>/dev/null
xvfb_pid=

echo "== purge"
if ! timeout 300 apt-get purge -y -qq veltrino-nms >"$work/apt.log" 2>&1; then
  cat "$work/apt.log"
  fail "apt-get purge veltrino-nms failed"
fi
installed=0
# A directory may stay when another package owns it or it holds others' files.
while IFS= read -r path; do
  case "$path" in /usr/*) ;; *) continue ;; esac
  if [ -d "$path" ] && [ ! -L "$path" ]; then
    if [ -z "$(ls -A "$path")" ] && ! dpkg -S "$path" >/dev/null 2>&1; then
      fail "empty directory $path is left"
    fi
  elif [ -e "$path" ] || [ -L "$path" ]; then
    fail "$path is left"
  fi
done <"$work/files"
[ -e /usr/bin/nms.ini ] && fail "/usr/bin/nms.ini exists: the program wrote beside itself"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "package builds, installs, pings without rights in the window or the CLI, and purges cleanly"
