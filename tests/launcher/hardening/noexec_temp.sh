#!/usr/bin/env bash
# The POSIX launcher on a temporary folder whose file system forbids running
# programs (mounted noexec): it must say so, naming TMPDIR and the system's
# reason, remove its folder and fail; on an ordinary folder it runs as usual.
#   noexec_temp.sh LAUNCHER SFXKIT WORKDIR
# Needs root, to mount tmpfs file systems in a private mount namespace (gone
# when the test ends); exits 77 (skipped) otherwise.
set -u
launcher=$1 sfxkit=$2 work=$3
[ "$(id -u)" -eq 0 ] || { echo "not root, cannot mount a noexec file system: skipped"; exit 77; }
command -v unshare >/dev/null 2>&1 || { echo "no unshare for a private mount namespace: skipped"; exit 77; }
unshare -m true 2>/dev/null || { echo "no private mount namespace may be made here: skipped"; exit 77; }

rm -rf "$work" && mkdir -p "$work/tree/sub" "$work/noexec" "$work/exec"
cd "$work"
# The setup script runs a tool from the payload: its execute bit must survive.
cat > tree/setup.sh <<SCRIPT
#!/bin/sh
"\$(dirname "\$0")/sub/tool.sh" && echo "ran from \$(dirname "\$0")" > "$work/ran.txt"
SCRIPT
printf '#!/bin/sh\nexit 0\n' > tree/sub/tool.sh
chmod +x tree/sub/tool.sh
seq 1 1000 > tree/sub/rows.txt
"$sfxkit" pack tree -o launcher.run --target posix --stub "$launcher" --run setup.sh >/dev/null || { echo "FAIL: pack"; exit 1; }

# Everything below runs in a private mount namespace.
unshare -m bash -s "$work" <<'INNER'
set -u
work=$1
failures=0
fail() { echo "FAIL [$scenario]: $*"; failures=$((failures + 1)); }
mount -t tmpfs -o noexec,size=64m tmpfs "$work/noexec" || { echo "cannot mount a noexec tmpfs: skipped"; exit 77; }
mount -t tmpfs -o size=64m tmpfs "$work/exec" || { echo "cannot mount a tmpfs: skipped"; exit 77; }
reason="Permission denied (its file system is mounted noexec)"

run() {  # scenario TMPDIR-value-or-"unset" expected-folder expected-rc
  scenario=$1
  rm -f "$work/ran.txt"
  if [ "$2" = unset ]; then
    (unset TMPDIR; exec "$work/launcher.run") </dev/null >"$work/$1.out" 2>"$work/$1.err"
  else
    TMPDIR=$2 "$work/launcher.run" </dev/null >"$work/$1.out" 2>"$work/$1.err"
  fi
  rc=$?
  [ "$rc" -eq "$4" ] || fail "exit status $rc, not $4; stderr: $(cat "$work/$1.err")"
  [ -z "$(ls -A "$3")" ] || fail "temporary folder left in $3: $(ls -A "$3")"
}

run noexec "$work/noexec" "$work/noexec" 1
grep -qxF "Error: cannot run the setup program from TMPDIR=$work/noexec: $reason; set TMPDIR to a folder where programs may run" \
  "$work/noexec.err" || fail "message: $(cat "$work/noexec.err")"
[ ! -e "$work/ran.txt" ] || fail "the setup program ran"

# The value is named as given, trailing separator and all.
run noexec_slash "$work/noexec/" "$work/noexec" 1
grep -qF "from TMPDIR=$work/noexec/: " "$work/noexec_slash.err" || fail "message: $(cat "$work/noexec_slash.err")"

# Without TMPDIR the launcher uses /tmp, and says so.
mount -t tmpfs -o noexec,size=64m tmpfs /tmp || { echo "cannot mount over /tmp: skipped"; exit 77; }
run unset unset /tmp 1
grep -qF "cannot run the setup program from TMPDIR=/tmp: $reason; set TMPDIR" "$work/unset.err" ||
  fail "message: $(cat "$work/unset.err")"

# Where programs may run, nothing changes.
run exec "$work/exec" "$work/exec" 0
grep -q "cannot run" "$work/exec.err" && fail "a message: $(cat "$work/exec.err")"
grep -q "^ran from $work/exec/spk" "$work/ran.txt" 2>/dev/null || fail "the setup program did not run from the folder"

[ "$failures" -eq 0 ] && echo "noexec temporary folder: told, cleaned up, failed; ordinary folder: ran: ok"
exit $((failures > 0))
INNER
