#!/usr/bin/env bash
# End-to-end runs of real POSIX launchers: the stub with an appended payload,
# a temporary folder whose path has a space, a time zone away from UTC.
#   run_posix.sh LAUNCHER PAYLOAD_MAKER PROBE WORKDIR
set -u
launcher=$1 maker=$2 probe=$3 work=$4
rm -rf "$work"
mkdir -p "$work/tmp dir"
cd "$work"
failures=0
fail() { echo "FAIL [$scenario]: $*"; failures=$((failures + 1)); }

run() {
  scenario=$1
  "$maker" "$scenario" image "$work/$scenario.img" "$probe" "setup probe" "$work/$scenario.report" || {
    fail "payload not built"; return; }
  cat "$launcher" "$work/$scenario.img" >"$work/$scenario.run"
  chmod +x "$work/$scenario.run"
  TMPDIR="$work/tmp dir" TZ=Europe/Berlin timeout 60 "$work/$scenario.run" 2>"$work/$scenario.err"
  rc=$?
  [ "$rc" -eq "${want:-0}" ] || fail "exit code $rc, not ${want:-0}"
  [ -z "$(ls -A "$work/tmp dir")" ] || fail "left behind: $(ls -A "$work/tmp dir")"
}

expect_failure() {
  want=1 run "$1"
  grep -qx "$2" "$work/$1.err" || fail "no '$2' in: $(cat "$work/$1.err")"
  [ ! -e "$work/$1.report" ] || fail "the setup program ran"
}

run good
report=$work/good.report
if [ ! -f "$report" ]; then
  fail "the setup program did not run: $(cat "$work/good.err")"
else
  grep -qx "arg 1 \[$report\]" "$report" || fail "first argument"
  grep -qx "arg 2 \[second\]" "$report" || fail "second argument"
  grep -qx "arg 3 \[third arg\]" "$report" || fail "third argument"
  grep -q "^arg 4" "$report" && fail "extra arguments"
  grep -qx "cwd \[$work\]" "$report" || fail "working folder"
  grep -q "^folder \[$work/tmp dir/spk[0-9A-F]*\.tmp\]" "$report" || fail "program folder"
  diff <(grep -E '^(dir|file) ' "$report") "$work/good.img.expected" || fail "extracted files"
  grep -qx "Initializing sfxkit end-to-end..." "$work/good.err" || fail "no caption"
  grep -qx "Extracting: docs/big.txt" "$work/good.err" || fail "no progress"
fi

for s in traversal absolute drive wrapsize truncated badcrc baddeflate; do
  expect_failure $s "Error: Extraction failed!"
done
grep -qx "File Corrupt: crc.txt" "$work/badcrc.err" || fail "no File Corrupt message"
grep -qx "Extract Error: bad.bin" "$work/baddeflate.err" || fail "no Extract Error message"
grep -qx "Size Mismatch: cut.txt" "$work/truncated.err" && fail "a truncated record got as far as its data"
[ ! -e "$work/tmp dir/escape.txt" ] || fail "traversal wrote outside the folder"
[ ! -e /tmp/sfx-e2e-absolute.txt ] || fail "absolute name wrote outside the folder"
ls "$work" | grep -q "sfx-e2e-drive" && fail "drive name wrote outside the folder"
expect_failure badprogram "Error: Failed to get setup info"

# The setup program's exit status and its ending signal are the launcher's.
SFX_PROBE_EXIT=7 want=7 run good
SFX_PROBE_SIGNAL=15 want=143 run good

# A stub without a payload has no setup record.
scenario=bare
TMPDIR="$work/tmp dir" "$launcher" 2>"$work/bare.err"
rc=$?
[ "$rc" -eq 1 ] || fail "exit code $rc"
grep -qx "Error: Failed to get setup info" "$work/bare.err" || fail "bare stub"
[ -z "$(ls -A "$work/tmp dir")" ] || fail "bare stub left its folder"

# No usable temporary-files folder.
scenario=notemp
TMPDIR="$work/no such folder" "$work/good.run" 2>"$work/notemp.err"
rc=$?
[ "$rc" -eq 1 ] || fail "exit code $rc"
grep -qx "Error: Failed to create temporary directory" "$work/notemp.err" || fail "$(cat "$work/notemp.err")"

[ "$failures" -eq 0 ] && echo "all end-to-end scenarios passed"
exit $((failures > 0))
