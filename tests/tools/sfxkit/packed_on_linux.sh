#!/usr/bin/env bash
# A Windows launcher packed by the Linux build of sfxkit, run under Wine (on a
# virtual display): the setup program must find every file with its content,
# and the temporary folder must be gone afterwards.
#   packed_on_linux.sh SOURCE_ROOT WORKDIR LAUNCHER_EXE SETUP_PROBE_EXE
# Exits 77 (skipped) when no Linux build of sfxkit or no display is there.
set -u
root=$1 work=$2 launcher=$3 probe=$4
sfxkit=
for preset in native release; do
  [ -x "$root/build/$preset/tools/sfxkit/sfxkit" ] && { sfxkit=$root/build/$preset/tools/sfxkit/sfxkit; break; }
done
[ -n "$sfxkit" ] || { echo "no Linux build of sfxkit: skipped"; exit 77; }
# The launcher's dialog needs an X display (xvfb-run gives one).
[ -n "${DISPLAY:-}" ] || { echo "no display for the launcher's dialog: skipped"; exit 77; }
rm -rf "$work" && mkdir -p "$work/tree/bin/data" "$work/tree/bin/nothing"
cd "$work"
cp "$probe" tree/bin/setup.exe
head -c 300000 /dev/urandom > tree/bin/data/random.bin
seq 1 20000 > tree/bin/data/rows.txt
: > tree/bin/empty

crc() { gzip -c "$1" | tail -c8 | head -c4 | od -An -tx4 | tr -d ' \n' | tr a-f A-F; }
report=$work/report.txt
# Wine shows the Unix root as drive Z: - the Windows name of an absolute
# path, without starting a Wine program that a loaded machine may fail.
winreport="Z:${report//\//\\}"
"$sfxkit" pack tree -o setup.exe --target windows --stub "$launcher" --run bin/setup.exe \
  --args "\"$winreport\" second" --title "Packed on Linux" || { echo "FAIL: pack"; exit 1; }
"$sfxkit" verify setup.exe || { echo "FAIL: verify"; exit 1; }
timeout 120 wine "$work/setup.exe"
[ -f "$report" ] || { echo "FAIL: the setup program did not run"; exit 1; }
tr -d '\r' < "$report" > got.txt
folder=$(sed -n 's/^folder //p' got.txt)
{
  echo "arg [second]"
  echo "folder $folder"
  echo "data/"
  echo "data/random.bin 300000 $(crc tree/bin/data/random.bin)"
  echo "data/rows.txt $(stat -c %s tree/bin/data/rows.txt) $(crc tree/bin/data/rows.txt)"
  echo "empty 0 00000000"
  echo "nothing/"
  echo "setup.exe $(stat -c %s tree/bin/setup.exe) $(crc tree/bin/setup.exe)"
} > expected.txt
diff expected.txt got.txt || { echo "FAIL: the unpacked files differ"; exit 1; }
unix=$(winepath -u "$folder" 2>/dev/null)
[ -n "$unix" ] && [ ! -e "$(dirname "$unix")" ] || { echo "FAIL: temporary folder left: $folder"; exit 1; }
echo "packed on Linux, unpacked and run under Wine: ok"
