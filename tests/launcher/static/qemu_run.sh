#!/usr/bin/env bash
# The 64-bit ARM launcher, packed by this build's tool, runs under
# qemu-aarch64-static started directly (no binfmt registration needed): it is
# static, extracts its payload and runs the setup program (a static busybox
# script, so the setup side needs no ARM libraries either: busybox runs on
# the host). Then again in a chroot without /proc, where the launcher finds
# its own file by the path it was started by.
# Usage: qemu_run.sh SFXKIT ARM64_STUB WORKDIR
set -euo pipefail
SFXKIT=$1 STUB=$2 WORK=$3
skip() { echo "SKIPPED: $*"; exit 77; }

[ -f "$STUB" ] || skip "no arm64 launcher at $STUB (build it: cmake --preset linux-arm64 && cmake --build --preset linux-arm64)"
QEMU=$(command -v qemu-aarch64-static || true)
[ -n "$QEMU" ] || skip "no qemu-aarch64-static (Debian: qemu-user-static)"
BUSYBOX=$(command -v busybox || true)
[ -n "$BUSYBOX" ] || skip "no busybox (Debian: busybox-static)"

rm -rf "$WORK"
mkdir -p "$WORK/tree/data" "$WORK/out"
cat >"$WORK/tree/setup.sh" <<SCRIPT
#!$BUSYBOX sh
echo "args: \$*" > "$WORK/out/result"
$BUSYBOX cat "\${0%/*}/data/hello.txt" >> "$WORK/out/result"
SCRIPT
chmod +x "$WORK/tree/setup.sh"
echo "hello from an arm64 payload" >"$WORK/tree/data/hello.txt"

if readelf -lW "$STUB" | grep -q INTERP; then echo "FAIL: the arm64 stub is linked dynamically"; exit 1; fi
"$SFXKIT" pack "$WORK/tree" -o "$WORK/setup-arm64.run" --target linux-arm64 --run setup.sh --args "a b" \
  --stub "$STUB" >/dev/null
"$SFXKIT" list "$WORK/setup-arm64.run" | grep -q '(posix) built for linux-arm64' || { echo "FAIL: list does not name linux-arm64"; exit 1; }
expected="args: a b
hello from an arm64 payload"

TMPDIR=$WORK "$QEMU" "$WORK/setup-arm64.run"
if [ "$(cat "$WORK/out/result" 2>/dev/null)" != "$expected" ]; then
  echo "FAIL: the setup program did not run as packed under qemu"; exit 1
fi
echo "ok (qemu, with /proc)"

# Without /proc: qemu, the launcher and busybox in an otherwise empty chroot.
CHROOT=$(command -v chroot || true)
if [ "$(id -u)" -ne 0 ] || [ -z "$CHROOT" ]; then echo "PASS (the chroot run needs root and chroot: not tried)"; exit 0; fi
ROOT=$WORK/root
mkdir -p "$ROOT/bin" "$ROOT/tmp" "$ROOT/out" "$ROOT/apps"
cp "$QEMU" "$ROOT/bin/qemu-aarch64-static"
cp "$BUSYBOX" "$ROOT/bin/busybox"
ln -s busybox "$ROOT/bin/sh"
cp "$WORK/setup-arm64.run" "$ROOT/apps/setup"
cat >"$WORK/tree/setup.sh" <<'SCRIPT'
#!/bin/sh
echo "args: $*" > /out/result
/bin/busybox cat "${0%/*}/data/hello.txt" >> /out/result
SCRIPT
"$SFXKIT" pack "$WORK/tree" -o "$ROOT/apps/setup" --target linux-arm64 --run setup.sh --args "a b" \
  --stub "$STUB" >/dev/null
if ! out=$(env -i PATH=/bin TMPDIR=/tmp "$CHROOT" "$ROOT" /bin/qemu-aarch64-static /apps/setup 2>&1); then
  echo "FAIL: the launcher under qemu without /proc exited with an error: $out"; exit 1
fi
if [ "$(cat "$ROOT/out/result" 2>/dev/null)" != "$expected" ]; then
  echo "FAIL: without /proc the setup program did not run as packed; launcher said: $out"; exit 1
fi
echo "ok (qemu, no /proc)"
echo "PASS"
