#!/usr/bin/env bash
# Follows the README on a fresh Debian 12, as a new user would: a minimal
# bookworm made by debootstrap (nothing else installed), a clone of this
# repository's committed HEAD, then the README's two commands as they stand.
#
#   1. scripts/run.sh must install what it needs, build the program and open
#      its window (on an Xvfb of this machine's, reached through its socket
#      in /tmp/.X11-unix); Esc must end it with status 0.
#   2. scripts/test.sh must install everything the suite needs and pass.
#   3. The Debian package that scripts/test.sh built (build-deb/) must install
#      with apt-get, run from the PATH (--version, a headless replay of an
#      installed example), and apt-get remove must take away every file it
#      installed.
#   4. Run again, neither may call apt-get (an apt-get that fails and logs
#      is put first on the PATH for that).
#
#   sudo scripts/fresh-debian-check.sh [WORKDIR]    (default /var/tmp/fluid-fresh-debian)
#
# Needs root, debootstrap, Xvfb and xdotool here (installed when missing), and
# the network to Debian's archive and the npm registry: it downloads some
# hundreds of MiB, so it is not part of the test command. The base system is
# kept as WORKDIR/bookworm-minbase.tgz for later runs (remove it to fetch
# anew); each run unpacks it into a new chroot and removes that at the end
# unless KEEP_CHROOT=1.
set -euo pipefail
repo="$(cd "$(dirname "$0")/.." && pwd)"
. "$repo/scripts/lib.sh"
work="${1:-/var/tmp/fluid-fresh-debian}"
title="Zeroduz Uruvov Aderod"
[ "$(id -u)" -eq 0 ] || { echo "fresh-debian-check.sh: needs root (chroot, mounts)" >&2; exit 1; }

need=()
command -v debootstrap >/dev/null || need+=(debootstrap)
command -v Xvfb >/dev/null || need+=(xvfb)
command -v xdotool >/dev/null || need+=(xdotool)
if [ ${#need[@]} -gt 0 ]; then
  DEBIAN_FRONTEND=noninteractive apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

mkdir -p "$work"
base="$work/bookworm-minbase.tgz"
root="$work/root-$(date +%Y%m%d-%H%M%S)"
mkdir -p "$root"
mounted=()
cleanup() {  # after the library has stopped the X server
  for ((k = ${#mounted[@]} - 1; k >= 0; k--)); do umount -l "${mounted[k]}" 2>/dev/null || true; done
  if [ "${KEEP_CHROOT:-0}" != 1 ]; then rm -rf --one-file-system "$root"; fi
}
on_exit cleanup
elapsed() { echo "$(( $(date +%s) - $1 ))"; }

t=$(date +%s)
if [ ! -f "$base" ]; then
  echo "== debootstrap --variant=minbase bookworm (downloading the base system)"
  debootstrap --variant=minbase --make-tarball="$base" bookworm "$work/tarball-tmp" >"$work/debootstrap.log" 2>&1 ||
    { tail -n 20 "$work/debootstrap.log"; exit 1; }
  rm -rf "$work/tarball-tmp"
fi
echo "== debootstrap --variant=minbase bookworm into $root"
debootstrap --variant=minbase --unpack-tarball="$base" bookworm "$root" >"$work/debootstrap.log" 2>&1 ||
  { tail -n 20 "$work/debootstrap.log"; exit 1; }
echo "   $(elapsed "$t") s"

mount_in() {  # options..., target inside the chroot
  local target="$root${*: -1}"
  mkdir -p "$target"
  mount "${@:1:$#-1}" "$target"
  mounted+=("$target")
}
mount_in --bind /proc /proc
mount_in --bind /sys /sys
mount_in --bind /dev /dev
mount_in --bind /dev/pts /dev/pts
mount_in -t tmpfs tmpfs /dev/shm
cp /etc/resolv.conf "$root/etc/resolv.conf"
# Where this machine reaches the network through certificate authorities of
# its own, the chroot trusts them too (the ca-certificates package adds them
# when it is installed), and node is pointed at the system's bundle as here.
if compgen -G "/usr/local/share/ca-certificates/*.crt" >/dev/null; then
  mkdir -p "$root/usr/local/share/ca-certificates"
  cp /usr/local/share/ca-certificates/*.crt "$root/usr/local/share/ca-certificates/"
fi
node_ca=()
[ -z "${NODE_EXTRA_CA_CERTS:-}" ] || node_ca=("NODE_EXTRA_CA_CERTS=$NODE_EXTRA_CA_CERTS")

git clone -q --no-local "$repo" "$root/root/fluid"
echo "== cloned $(git -C "$repo" rev-parse --short HEAD) into /root/fluid"
in_chroot() {  # command line, run as root in the clone with a plain environment
  chroot "$root" /usr/bin/env -i HOME=/root TERM=dumb PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    "${node_ca[@]}" "$@"
}

# The window: an Xvfb here, its socket shared with the chroot for this step only.
open_window() {  # log file; runs scripts/run.sh, finds the window, sends Esc
  local log=$1 display status wid
  start_xvfb 1024x768x24
  display=$DISPLAY
  mount_in --bind /tmp/.X11-unix /tmp/.X11-unix
  in_chroot /bin/sh -c "cd /root/fluid && DISPLAY=$display scripts/run.sh" >"$log" 2>&1 &
  local run_pid=$!
  wid=""
  while [ -z "$wid" ] && kill -0 "$run_pid" 2>/dev/null; do
    sleep 2
    wid=$(DISPLAY=$display xdotool search --onlyvisible --name "^$title\$" 2>/dev/null | head -n 1) || true
  done
  if [ -z "$wid" ]; then
    echo "no window titled '$title' appeared; the last lines of scripts/run.sh:" >&2
    tail -n 30 "$log" >&2
    exit 1
  fi
  echo "   window $wid titled '$(DISPLAY=$display xdotool getwindowname "$wid")' is open"
  # No window manager: keyboard focus follows the pointer, so the pointer
  # goes into the window before the key.
  DISPLAY=$display xdotool windowmove --sync "$wid" 0 0 mousemove --window "$wid" 100 100 sleep 1 key Escape
  status=0
  wait "$run_pid" || status=$?
  umount -l "$root/tmp/.X11-unix"
  unset 'mounted[${#mounted[@]}-1]'
  stop_xvfb
  echo "   Esc: the program ended with status $status"
  [ "$status" -eq 0 ] || { tail -n 30 "$log" >&2; exit 1; }
}

echo "== scripts/run.sh (installs, builds, opens the window)"
t=$(date +%s)
open_window "$work/run.log"
echo "   $(elapsed "$t") s"

echo "== scripts/test.sh (installs everything the suite needs, runs it)"
t=$(date +%s)
if ! in_chroot /bin/sh -c 'cd /root/fluid && scripts/test.sh' >"$work/test.log" 2>&1; then
  tail -n 60 "$work/test.log" >&2
  echo "scripts/test.sh failed in the fresh chroot (whole log: $work/test.log)" >&2
  exit 1
fi
grep -E "tests passed|web-test:|^Done" "$work/test.log" | sed 's/^/   /'
echo "   $(elapsed "$t") s"

echo "== the Debian package: apt-get install, run, apt-get remove"
t=$(date +%s)
# shellcheck disable=SC2016  # expanded in the chroot's shell
in_chroot /bin/sh -ec '
  cd /root/fluid
  set -- build-deb/fluid_*.deb
  [ "$#" -eq 1 ] && [ -f "$1" ] || { echo "no single package in build-deb/: $*" >&2; exit 1; }
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./$1" >/dev/null
  cd /
  program=$(command -v fluid)
  echo "$program"
  fluid --version
  fluid --headless --replay /usr/share/fluid/examples/vortex-around-a-wall.session --steps 10 --png /tmp/installed.png
  [ -s /tmp/installed.png ] || { echo "the installed program wrote no picture" >&2; exit 1; }
  rm -f /tmp/installed.png
  dpkg -L fluid >/tmp/fluid-files
  DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq fluid >/dev/null
  left=0
  while read -r path; do
    # Directories that other packages share (/usr, /usr/share/man/man1) stay.
    if [ -e "$path" ] && [ ! -d "$path" ]; then echo "left after apt-get remove: $path" >&2; left=1; fi
    if [ -d "$path" ] && [ -z "$(dpkg -S "$path" 2>/dev/null)" ] && [ -z "$(ls -A "$path")" ]; then
      echo "empty directory left after apt-get remove: $path" >&2; left=1
    fi
  done </tmp/fluid-files
  rm -f /tmp/fluid-files
  [ "$left" -eq 0 ]
  [ ! -e "$program" ]
' 2>&1 | sed 's/^/   /'
echo "   installed, ran and removed; $(elapsed "$t") s"

echo "== again, with an apt-get that fails (nothing may be installed twice)"
printf '#!/bin/sh\necho "apt-get $*" >>/apt-get-calls\nexit 1\n' >"$root/usr/local/sbin/apt-get"
chmod +x "$root/usr/local/sbin/apt-get"
t=$(date +%s)
open_window "$work/run-again.log"
in_chroot /bin/sh -c 'cd /root/fluid && scripts/install-deps.sh tests'
if [ -e "$root/apt-get-calls" ]; then
  echo "apt-get was called again:" >&2
  cat "$root/apt-get-calls" >&2
  exit 1
fi
echo "   no apt-get call; $(elapsed "$t") s"
echo "fresh-debian-check: passed"
