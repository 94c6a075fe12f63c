#!/usr/bin/env bash
# Builds the Debian package, checks it with lintian, installs it with apt as
# an operator would, and checks the installed programs: only the ICMP helper
# holds cap_net_raw; veltrino-nmsctl, as an ordinary user in the lab's
# station namespace (ping_group_range "1 0"), pings element 1 (the installed
# simulator) through it; the window shows under Xvfb holding no capability.
# Then purges the package, checking that nothing of it is left under /usr.
# What the programs do on the network is the lab suites'.
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
lab=$source_dir/scripts/lab
station=vlab-nms

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

cleanup() {
  [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  timeout 60 "$lab" down >/dev/null 2>&1
  if [ "$installed" -eq 1 ]; then
    timeout 300 apt-get purge -y -qq veltrino-nms >/dev/null 2>&1
  fi
  rm -rf "$work"
}
trap cleanup EXIT
# The lab is one per machine (see tests/lab/common.sh).
exec {lab_lock_fd}>/run/veltrino-lab.lock
flock -w 900 "$lab_lock_fd" || { echo "FAIL: the lab stayed busy for 15 minutes"; exit 1; }

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

echo "== the lab, element 1 played by the installed simulator"
NMS_SIM=/usr/bin/veltrino-element-sim timeout 60 "$lab" up 1 >/dev/null || fail "scripts/lab up 1"
range=$(ip netns exec "$station" sysctl -n net.ipv4.ping_group_range | xargs)
[ "$range" = "1 0" ] || fail "ping_group_range of the station is \"$range\", not \"1 0\""

user_home="$work/home"
runtime="$work/runtime"
database_dir="$user_home/.local/share/Orbelund/veltrino-nms"
mkdir -p "$runtime" "$database_dir"
{
  printf '[0200C612000B]\nNAME=%-16s\nIP=198.18.0.11\nMASK=255.255.255.0\nGW=198.18.0.254\n' LIVE
  printf 'REMOTE=198.18.0.12\nINPUT=0\nTYPE=0\nTX=0\nROLE=1\nSN=1\nVER=3.4\nSFN=0\nBUF=1\n'
} >"$database_dir/nms.ini"
chown -R nobody:nogroup "$user_home" "$runtime"
chmod 700 "$runtime"
as_user() {
  ip netns exec "$station" setpriv --reuid=nobody --regid=nogroup --clear-groups \
    env -i HOME="$user_home" XDG_RUNTIME_DIR="$runtime" PATH=/usr/bin:/bin "$@"
}

echo "== veltrino-nmsctl ping as an ordinary user, through the helper"
output=$(as_user timeout 30 "$nmsctl" ping LIVE 2>&1)
echo "$output"
grep -Eq '^198\.18\.0\.11: [0-9]+ ms$' <<<"$output" || fail "ping LIVE: $output"

echo "== the installed window as an ordinary user"
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
as_user DISPLAY="$display" "$program" >"$work/program.log" 2>&1 &
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
if [ -n "$program_pid" ]; then
  grep '^Cap' "/proc/$program_pid/status"
  grep -q '^CapPrm:[[:space:]]*0*$' "/proc/$program_pid/status" || fail "the window holds capabilities"
fi
kill "$program_pid" 2>/dev/null
wait "$program_pid" 2>/dev/null
program_pid=
kill "$xvfb_pid" 2>/dev/null
wait "$xvfb_pid" 2>/dev/null
xvfb_pid=

timeout 60 "$lab" down >/dev/null || fail "scripts/lab down"

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
echo "package builds, installs, runs with the ICMP right in its helper alone, and purges cleanly"
