#!/usr/bin/env bash
# End-to-end runs of real Windows launchers under Wine (on a virtual display):
# each payload is written as a resource file, compiled with windres and linked
# into the launcher, then the launcher runs as a user would run it.
#   run_win32.sh WORKDIR CXX WINDRES PAYLOAD_MAKER PROBE ENTRY_OBJ RECORDING_OBJ RESOURCES_OBJ LIBS...
# Failing scenarios use the recording entry, which writes message boxes to a
# file instead of waiting for a click. The slow scenario leaves a screenshot of
# the dialog in WORKDIR/dialog.png.
set -u
work=$1 cxx=$2 windres=$3 maker=$4 probe=$5 entry=$6 recording=$7 resources=$8
shift 8
libs=("$@")
rm -rf "$work"
mkdir -p "$work"
cd "$work"
failures=0
fail() { echo "FAIL [$scenario]: $*"; failures=$((failures + 1)); }
# Wine shows the Unix root as drive Z: - the Windows name of an absolute
# path, without starting a Wine program that a loaded machine may fail.
win() { case "$1" in /*) printf 'Z:%s' "${1//\//\\}" ;; *) winepath -w "$1" 2>/dev/null ;; esac; }

build() {  # scenario entry-object
  scenario=$1
  wine "$maker" "$scenario" res "$(win "$work/$scenario.res")" "$(win "$probe")" "setup probe.exe" \
    "$(win "$work/$scenario.report")" || { fail "payload not built"; return 1; }
  "$windres" -J res -O coff -i "$work/$scenario.res" -o "$work/$scenario.res.o" || { fail "windres"; return 1; }
  "$cxx" -static -static-libgcc -static-libstdc++ -mwindows -o "$work/$scenario.exe" "$2" "$resources" \
    "$work/$scenario.res.o" "${libs[@]}" || { fail "link"; return 1; }
}

# The temporary folder the probe reported, as a Unix path.
reported_folder() {
  local f
  f=$(sed -n 's/^folder \[\(.*\)\]\r\{0,1\}$/\1/p' "$1" | head -1)
  [ -n "$f" ] && winepath -u "$f" 2>/dev/null
}

# ---- the real launcher, a good payload ----
if build good "$entry"; then
  TZ=Europe/Berlin timeout 60 wine "$work/good.exe"
  report=$work/good.report
  if [ ! -f "$report" ]; then
    fail "the setup program did not run"
  else
    tr -d '\r' <"$report" >"$report.txt"
    winreport=$(win "$report")
    grep -qxF "arg 1 [$winreport]" "$report.txt" || fail "first argument"
    grep -qx "arg 2 \[second\]" "$report.txt" || fail "second argument"
    grep -qx "arg 3 \[third arg\]" "$report.txt" || fail "third argument"
    grep -q "^arg 4" "$report.txt" && fail "extra arguments"
    grep -q '^arg 0 \[.*\\spk[0-9A-Fa-f]*\.tmp\\setup probe\.exe\]' "$report.txt" || fail "program path"
    grep -qxF "cwd [$(win "$work")]" "$report.txt" || fail "working folder $(grep ^cwd "$report.txt")"
    # The C++ library of this target reads whole seconds only.
    diff <(grep -E '^(dir|file) ' "$report.txt" | sed 's/\.[0-9]*$//') <(sed 's/\.[0-9]*$//' "$work/good.res.expected") ||
      fail "extracted files"
    folder=$(reported_folder "$report.txt")
    [ -n "$folder" ] && [ ! -e "$folder" ] || fail "temporary folder left: $folder"
  fi
fi

# ---- the dialog on screen during a slow extraction ----
if build slow "$entry"; then
  TZ=Europe/Berlin timeout 120 wine "$work/slow.exe" &
  pid=$!
  shot=""
  # A new prefix may take many seconds to show its first window: poll for as
  # long as the launcher runs, up to two minutes.
  for _ in $(seq 1 480); do
    sleep 0.25
    kill -0 $pid 2>/dev/null || break
    if xwininfo -root -tree 2>/dev/null | grep -q '"Initializing sfxkit end-to-end..."'; then
      sleep 0.5
      import -window root "$work/dialog.png" 2>/dev/null && shot=yes
      break
    fi
  done
  wait $pid
  # Without a display there is no dialog to see (the launcher still runs).
  [ -n "$shot" ] || [ -z "${DISPLAY:-}" ] || fail "no screenshot of the dialog"
  [ -f "$work/slow.report" ] || fail "the setup program did not run"
  folder=$(tr -d '\r' <"$work/slow.report" | sed -n 's/^folder \[\(.*\)\]$/\1/p' | head -1)
  [ -n "$folder" ] && [ ! -e "$(winepath -u "$folder" 2>/dev/null)" ] || fail "temporary folder left"
fi

# ---- payloads that must fail cleanly ----
expect() {  # scenario expected-message-line
  build "$1" "$recording" || return
  rm -f "$work/$1.messages"
  SFX_E2E_MESSAGES=$(win "$work/$1.messages") timeout 60 wine "$work/$1.exe"
  tr -d '\r' <"$work/$1.messages" >"$work/$1.messages.txt" 2>/dev/null
  grep -qxF "$2" "$work/$1.messages.txt" || fail "no '$2' in: $(cat "$work/$1.messages.txt" 2>/dev/null)"
  [ ! -e "$work/$1.report" ] || fail "the setup program ran"
}
for s in traversal absolute drive wrapsize truncated; do
  expect $s "(default): Extraction failed! [style 16]"
  grep -q "Extraction failed" "$work/$s.messages.txt" && [ "$(wc -l <"$work/$s.messages.txt")" -eq 1 ] ||
    fail "more than one message"
done
expect badcrc "File Corrupt: crc.txt [style 16]"
expect baddeflate "Extract Error: bad.bin [style 16]"
expect badprogram "(default): Failed to get setup info [style 0]"
[ ! -e "$work/../escape.txt" ] || fail "traversal wrote outside the folder"
ls "$HOME" /tmp 2>/dev/null | grep -q "sfx-e2e-" && fail "a name wrote outside the folder"

[ "$failures" -eq 0 ] && echo "all end-to-end scenarios passed"
exit $((failures > 0))
