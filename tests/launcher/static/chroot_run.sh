#!/usr/bin/env bash
# A packed launcher runs where nothing but itself and a static busybox exist:
# a chroot with no shared libraries, with /proc mounted and without it (then
# the launcher finds its own file by the path it was started by).
# Usage: chroot_run.sh SFXKIT LAUNCHER_STUB WORKDIR
# Exits 77 (skipped) when the stub is not static or chroot is not possible.
set -euo pipefail
SFXKIT=$1 STUB=$2 WORK=$3
skip() { echo "SKIPPED: $*"; exit 77; }

[ -x "$STUB" ] || skip "no launcher stub at $STUB"
if readelf -lW "$STUB" | grep -q 'INTERP'; then
  skip "the launcher of this build is linked dynamically (sanitized builds are); the release preset links it statically"
fi
BUSYBOX=$(command -v busybox || true)
[ -n "$BUSYBOX" ] || skip "no busybox (Debian: busybox-static)"
readelf -lW "$BUSYBOX" | grep -q INTERP && skip "busybox at $BUSYBOX is not static (Debian: busybox-static)"
[ "$(id -u)" -eq 0 ] || skip "chroot needs root"
CHROOT=$(command -v chroot || true)
[ -n "$CHROOT" ] || skip "no chroot program"

rm -rf "$WORK"
mkdir -p "$WORK/tree/data" "$WORK/root"
ROOT=$WORK/root
cleanup() {
  if mountpoint -q "$ROOT/proc" 2>/dev/null; then umount "$ROOT/proc" || true; fi
}
trap cleanup EXIT

# The setup program: a busybox shell script that reports its arguments and a
# file packed beside it, into /out of the chroot.
cat >"$WORK/tree/setup.sh" <<'SCRIPT'
#!/bin/sh
echo "args: $*" > /out/result
/bin/busybox cat "${0%/*}/data/hello.txt" >> /out/result
SCRIPT
chmod +x "$WORK/tree/setup.sh"
for i in 1 2 3 4 5 6 7 8; do echo "hello from the payload, line $i"; done >"$WORK/tree/data/hello.txt"
"$SFXKIT" pack "$WORK/tree" -o "$WORK/setup.run" --run setup.sh --args "one two" --title Static \
  --stub "$STUB" >/dev/null

mkdir -p "$ROOT/bin" "$ROOT/tmp" "$ROOT/out" "$ROOT/proc" "$ROOT/apps"
chmod 1777 "$ROOT/tmp"
cp "$BUSYBOX" "$ROOT/bin/busybox"
ln -s busybox "$ROOT/bin/sh"
cp "$WORK/setup.run" "$ROOT/apps/setup"
expected="args: one two
$(cat "$WORK/tree/data/hello.txt")"

check() {  # how it was started, then the command inside the chroot
  local how=$1; shift
  rm -f "$ROOT/out/result"
  if ! out=$(env -i PATH=/bin:/apps TMPDIR=/tmp "$CHROOT" "$ROOT" "$@" 2>&1); then
    echo "FAIL ($how): the launcher exited with an error: $out"; exit 1
  fi
  if [ ! -f "$ROOT/out/result" ] || [ "$(cat "$ROOT/out/result")" != "$expected" ]; then
    echo "FAIL ($how): the setup program did not run as packed; launcher said: $out"
    [ -f "$ROOT/out/result" ] && cat "$ROOT/out/result"
    exit 1
  fi
  if [ -n "$(ls -A "$ROOT/tmp")" ]; then
    echo "FAIL ($how): the temporary folder was left behind: $(ls -A "$ROOT/tmp")"; exit 1
  fi
  echo "ok ($how)"
}

# Without /proc: by absolute path, by a path relative to the current folder,
# and found along PATH by the shell.
mountpoint -q "$ROOT/proc" && { echo "FAIL: $ROOT/proc is mounted already"; exit 1; }
check "no /proc, absolute path" /apps/setup
check "no /proc, relative path" /bin/sh -c 'cd /apps && ./setup'
check "no /proc, found along PATH" /bin/sh -c 'cd /tmp && setup'

if mount -t proc proc "$ROOT/proc" 2>/dev/null; then
  check "with /proc" /apps/setup
  umount "$ROOT/proc"
else
  echo "note: cannot mount /proc in the chroot here; only the runs without it were checked"
fi
echo "PASS"
