#!/usr/bin/env bash
# Builds the Debian package, checks it with lintian, installs it with apt as
# an operator would, starts the installed program under Xvfb as an ordinary
# user, checks the ping capability, and purges the package again, checking
# that nothing of it is left under /usr.
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
title="Veltrino NMS v.3.4.0 - Orbelund Broadcast"
work=$(mktemp -d)
chmod 755 "$work"
program_pid=
xvfb_pid=
installed=0

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

cleanup() {
  [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
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
expected=("$program" /usr/bin/veltrino-element-sim
  "/usr/share/applications/$app_id.desktop" "/usr/share/metainfo/$app_id.metainfo.xml"
  "/usr/share/icons/hicolor/scalable/apps/$app_id.svg"
  /usr/share/man/man1/veltrino-nms.1.gz /usr/share/man/man1/veltrino-element-sim.1.gz
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

echo "== ping capability"
capabilities=$(getcap "$program")
echo "$capabilities"
case "$capabilities" in
  *"cap_net_raw=p") ;;
  *) fail "$program has not cap_net_raw in the permitted set alone" ;;
esac

if [ -x /usr/bin/veltrino-nmsctl ]; then
  echo "== veltrino-nmsctl --version"
  /usr/bin/veltrino-nmsctl --version || fail "veltrino-nmsctl --version failed"
fi

echo "== start the installed program under Xvfb as an ordinary user"
user_home="$work/home"
runtime="$work/runtime"
mkdir -p "$user_home" "$runtime"
chown nobody:nogroup "$user_home" "$runtime"
chmod 700 "$runtime"
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
setpriv --reuid=nobody --regid=nogroup --clear-groups \
  env -i HOME="$user_home" XDG_RUNTIME_DIR="$runtime" DISPLAY="$display" PATH=/usr/bin:/bin \
  "$program" >"$work/program.log" 2>&1 &
program_pid=$!
# A first start tells that the database is empty before it shows the window;
# the notice is answered as an operator would.
window=0
for _ in $(seq 150); do
  if xwininfo -display "$display" -root -tree 2>/dev/null | grep -qF "\"$title\""; then
    window=1
    break
  fi
  notice=$(DISPLAY=$display xdotool search --name '^Information$' 2>/dev/null | head -n 1)
  [ -n "$notice" ] && DISPLAY=$display xdotool windowfocus "$notice" key Return 2>/dev/null
  kill -0 "$program_pid" 2>/dev/null || break
  sleep 0.2
done
if [ "$window" -eq 1 ]; then
  echo "window \"$title\" is shown"
else
  cat "$work/program.log"
  fail "the installed program showed no window titled \"$title\""
fi
# Installed in a directory it cannot write, it keeps its database in the
# user's data directory.
[ -d "$user_home/.local/share/Orbelund/veltrino-nms" ] ||
  fail "the program made no data directory in the user's home"
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
echo "package builds, installs, starts, has cap_net_raw=p and purges cleanly"
