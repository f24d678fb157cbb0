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
# The record's progress text comes before its message.
[ "$(grep -n -e "^Extracting: crc.txt" -e "^File Corrupt" "$work/badcrc.err" | cut -d: -f2 | tr '\n' ' ')" = \
  "Extracting File Corrupt " ] || fail "progress after the message: $(cat "$work/badcrc.err")"
grep -qx "Extract Error: bad.bin" "$work/baddeflate.err" || fail "no Extract Error message"
grep -qx "Size Mismatch: cut.txt" "$work/truncated.err" && fail "a truncated record got as far as its data"
[ ! -e "$work/tmp dir/escape.txt" ] || fail "traversal wrote outside the folder"
[ ! -e /tmp/sfx-e2e-absolute.txt ] || fail "absolute name wrote outside the folder"
ls "$work" | grep -q "sfx-e2e-drive" && fail "drive name wrote outside the folder"
expect_failure badprogram "Error: Failed to get setup info"

# The setup program's exit status and its ending signal are the launcher's.
SFX_PROBE_EXIT=7 want=7 run good
SFX_PROBE_SIGNAL=15 want=143 run good

# Interrupted by a real signal. Job control on, so that a background launcher
# does not start with SIGINT ignored.
set -m
"$maker" slow image "$work/slow.img" "$probe" "setup probe" "$work/slow.report" || fail "slow payload not built"
cat "$launcher" "$work/slow.img" >"$work/slow.run"
chmod +x "$work/slow.run"
wait_for() {  # condition (a shell command), up to 20 s
  for _ in $(seq 200); do eval "$1" && return 0; sleep 0.1; done
  return 1
}
signal_during_extraction() {  # signal name, number
  scenario=extracting_$1
  rm -f "$work/slow.report" "$work/slow.report.done"
  TMPDIR="$work/tmp dir" "$work/slow.run" 2>"$work/$scenario.err" &
  pid=$!
  wait_for '[ -n "$(ls "$work/tmp dir"/spk*/data 2>/dev/null)" ]' || fail "extraction never started"
  kill -"$1" "$pid"
  wait "$pid"
  rc=$?
  [ "$rc" -eq $((128 + $2)) ] || fail "exit code $rc, not $((128 + $2))"
  [ -z "$(ls -A "$work/tmp dir")" ] || fail "left behind: $(ls -A "$work/tmp dir")"
  [ ! -e "$work/slow.report" ] || fail "the setup program ran"
}
signal_during_extraction INT 2
signal_during_extraction TERM 15
signal_during_extraction HUP 1

signal_while_running() {  # signal name, what the program does, expected status
  scenario=running_$1_$2
  rm -f "$work/good.report" "$work/good.report.done"
  if [ "$2" = ignores ]; then
    SFX_PROBE_IGNORE=15 SFX_PROBE_SLEEP=2 TMPDIR="$work/tmp dir" "$work/good.run" 2>"$work/$scenario.err" &
  else
    SFX_PROBE_SLEEP=30 TMPDIR="$work/tmp dir" "$work/good.run" 2>"$work/$scenario.err" &
  fi
  pid=$!
  wait_for '[ -e "$work/good.report.done" ]' || fail "the setup program did not start"
  kill -"$1" "$pid"
  wait "$pid"
  rc=$?
  [ "$rc" -eq "$3" ] || fail "exit code $rc, not $3"
  [ -z "$(ls -A "$work/tmp dir")" ] || fail "left behind: $(ls -A "$work/tmp dir")"
}
# The program receives the signal and decides: it ends by it, or ignores it
# and ends normally; the folder goes either way.
signal_while_running TERM dies 143
signal_while_running HUP dies 129
signal_while_running TERM ignores 0
set +m

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
