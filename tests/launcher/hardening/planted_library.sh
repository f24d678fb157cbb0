#!/usr/bin/env bash
# A library planted beside a Windows launcher must never be loaded.
#   planted_library.sh SOURCE_ROOT WORKDIR OBJDUMP LAUNCHER PLANTED_DLL IMPORTER PROBE
# First, without Wine: the launcher imports only libraries the system always
# takes from its own folder (its known libraries). Then, under Wine with the
# native-first search order of Windows: a comctl32.dll planted beside a packed
# launcher is loaded by a program importing it statically (the control), but
# not by the launcher, which still shows its dialog, runs its setup program and
# removes its folder. Exits 77 (skipped) where Wine cannot start.
set -u
root=$1 work=$2 objdump=$3 launcher=$4 planted=$5 importer=$6 probe=$7
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine_check.sh"
work=$(absolute "$work") launcher=$(absolute "$launcher") planted=$(absolute "$planted")
importer=$(absolute "$importer") probe=$(absolute "$probe")

# ---- static imports ----
# Libraries the system loads from its own folder whatever the search order.
known=" advapi32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll shell32.dll user32.dll "
imports=$("$objdump" -p "$launcher" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z')
[ -n "$imports" ] || { echo "FAIL: no imports read from $launcher"; exit 1; }
for dll in $imports; do
  case "$known" in *" $dll "*) ;; *) echo "FAIL: the launcher imports $dll, which may be taken from its own folder"; exit 1 ;; esac
done
echo "imports:" $imports

# ---- a planted library under Wine ----
sfxkit=$(find_linux_sfxkit "$root") || { echo "no Linux build of sfxkit: skipped"; exit 77; }
wine_can_start "$probe" || { echo "$wine_reason: skipped"; exit 77; }
rm -rf "$work" && mkdir -p "$work/tree/data" "$work/run"
cd "$work"
cp "$probe" tree/setup.exe
# Enough output that the dialog stays up long enough to be seen, even on a
# fast disk: 200 MB that compress to almost nothing.
for i in $(seq 100 299); do head -c 1048576 /dev/zero | tr '\0' "\\$(printf %o $((i % 250 + 1)))" > "tree/data/part$i.bin"; done
report=$work/report.txt
winreport=$(windows_name "$report")
"$sfxkit" pack tree -o run/setup.exe --target windows --stub "$launcher" --run setup.exe \
  --args "\"$winreport\"" --title "Planted library" || { echo "FAIL: pack"; exit 1; }
cp "$planted" run/comctl32.dll
cp "$importer" run/importer.exe
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}comctl32=n,b"
# The library names its marker after its path as the loader spelled it
# (COMCTL32.dll for an import): look for it in any case.
marker_left() { [ -n "$(find run -maxdepth 1 -iname comctl32.dll.loaded)" ]; }

timeout 300 wine run/importer.exe
marker_left || { echo "FAIL: the control did not load the planted library: the test cannot see one"; exit 1; }
find run -maxdepth 1 -iname comctl32.dll.loaded -delete

timeout 300 wine run/setup.exe &
pid=$!
seen=
for _ in $(seq 1 3000); do
  kill -0 "$pid" 2>/dev/null || break
  if xwininfo -root -tree 2>/dev/null | grep -q '"Initializing Planted library..."'; then seen=yes; break; fi
  sleep 0.1
done
wait "$pid"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
! marker_left || fail "the launcher loaded the planted comctl32.dll"
[ -n "$seen" ] || fail "the launcher's dialog was not seen"
if [ -f "$report" ]; then
  folder=$(tr -d '\r' < "$report" | sed -n 's/^folder //p')
  unix=$(winepath -u "$folder" 2>/dev/null)
  [ -n "$unix" ] && [ ! -e "$unix" ] || fail "temporary folder left: $folder"
else
  fail "the setup program did not run"
fi
[ "$failures" -eq 0 ] && echo "planted library ignored, dialog shown, setup program run: ok"
exit $((failures > 0))
