#!/usr/bin/env bash
# A Windows launcher signed after packing, with a throw-away certificate:
# the signature verifies, sfxkit still lists and verifies the payload, a
# changed byte breaks the signature, and sfxkit refuses a signed stub (a
# signature made before packing could not cover the payload). With a setup
# probe, the signed launcher also runs under Wine.
#   signed_launcher.sh WORKDIR SFXKIT STUB [PROBE]
# SFXKIT may be root:SOURCE_ROOT, for the Linux build of the tool in that
# source tree; STUB may be "-", for the launcher of the win32 build beside
# SFXKIT's build. Exits 77 (skipped) when a part is missing: the tool, the
# stub, osslsigncode or openssl, or for the Wine run, Wine itself.
set -u
work=$1 sfxkit=$2 stub=$3 probe=${4:-}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine_check.sh"
work=$(absolute "$work") sfxkit=$(absolute "$sfxkit") stub=$(absolute "$stub") probe=$(absolute "$probe")

case "$sfxkit" in root:*) sfxkit=$(find_linux_sfxkit "${sfxkit#root:}") || { echo "no Linux build of sfxkit: skipped"; exit 77; } ;; esac
[ "$stub" != - ] || stub=$(dirname "$(dirname "$(dirname "$(dirname "$sfxkit")")")")/win32/launcher/launcher.exe
[ -f "$stub" ] || { echo "no Windows launcher stub at $stub (build the win32 preset): skipped"; exit 77; }
for tool in osslsigncode openssl; do
  command -v "$tool" >/dev/null 2>&1 || { echo "$tool is not installed (scripts/bootstrap installs it): skipped"; exit 77; }
done

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
rm -rf "$work" && mkdir -p "$work/tree/data"
cd "$work"
if [ -n "$probe" ]; then cp "$probe" tree/setup.exe; else printf 'MZ not run here\n' > tree/setup.exe; fi
head -c 200000 /dev/urandom > tree/data/random.bin
seq 1 5000 > tree/data/rows.txt

openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 -subj "/CN=sfxkit throw-away signer" \
  -addext extendedKeyUsage=codeSigning >/dev/null 2>&1 || { echo "FAIL: no certificate"; exit 1; }
sign() { osslsigncode sign -certs cert.pem -key key.pem -n "sfxkit test" -h sha256 -in "$1" -out "$2" >/dev/null; }

pack() {  # output arguments
  "$sfxkit" pack tree -o "$1" --target windows --stub "$stub" --run setup.exe --args "$2" --title "Signed launcher" \
    >/dev/null || { echo "FAIL: pack"; exit 1; }
}
pack setup.exe "report.txt second"
sign setup.exe signed.exe || { echo "FAIL: osslsigncode sign"; exit 1; }

# The signature, checked against the throw-away certificate as the only trusted one.
osslsigncode verify -CAfile cert.pem -in signed.exe >verify.txt 2>&1 || fail "the signature does not verify: $(tail -n 3 verify.txt)"
cp signed.exe tampered.exe
size=$(stat -c %s tampered.exe)
printf '\xA5' | dd of=tampered.exe bs=1 seek=$((size / 2)) conv=notrunc 2>/dev/null
osslsigncode verify -CAfile cert.pem -in tampered.exe >/dev/null 2>&1 && fail "a changed byte still verifies"

# The payload reads the same through the signature.
"$sfxkit" list setup.exe | sed 1d >list.unsigned || fail "list of the unsigned launcher"
"$sfxkit" list signed.exe | sed 1d >list.signed || fail "list of the signed launcher"
diff list.unsigned list.signed || fail "the signed launcher lists differently"
grep -qF 'data\random.bin' list.signed || fail "list shows no entries"  # names as stored for Windows
"$sfxkit" verify signed.exe >/dev/null || fail "verify of the signed launcher"

# A signed stub (bare or already packed) is refused with the reason, and nothing is written.
sign "$stub" signedstub.exe || fail "osslsigncode sign of the stub"
for s in signedstub.exe signed.exe; do
  if "$sfxkit" pack tree -o repacked.exe --target windows --stub "$s" --run setup.exe >pack.out 2>&1; then
    fail "pack accepted the signed stub $s"
  else
    grep -q "the stub is signed; sign the launcher after packing instead" pack.out || fail "pack's message: $(cat pack.out)"
  fi
  [ ! -e repacked.exe ] && [ ! -e repacked.exe.partial ] || fail "pack left a file behind for $s"
done

if [ "$failures" -ne 0 ]; then exit 1; fi
echo "signed after packing: verifies, lists, verifies with sfxkit; signed stubs refused: ok"
[ -n "$probe" ] || exit 0

# ---- the signed launcher under Wine ----
# The setup probe writes its report to the file its first argument names,
# which only Wine can name in its own form: this launcher is packed afresh.
wine_can_start "$probe" || { echo "$wine_reason: the Wine run is skipped"; exit 77; }
report=$work/report.txt
pack setup-run.exe "\"$(windows_name "$report")\" second"
sign setup-run.exe signed-run.exe || { echo "FAIL: osslsigncode sign"; exit 1; }
osslsigncode verify -CAfile cert.pem -in signed-run.exe >/dev/null 2>&1 || fail "the signature does not verify"
timeout 300 wine "$work/signed-run.exe"
[ -f "$report" ] || { echo "FAIL: the signed launcher did not run its setup program"; exit 1; }
tr -d '\r' <"$report" >got.txt
grep -qx 'arg \[second\]' got.txt || fail "arguments: $(cat got.txt)"
grep -q '^data/random.bin 200000 ' got.txt || fail "files: $(cat got.txt)"
folder=$(sed -n 's/^folder //p' got.txt)
unix=$(winepath -u "$folder" 2>/dev/null)
[ -n "$unix" ] && [ ! -e "$unix" ] || fail "temporary folder left: $folder"
[ "$failures" -eq 0 ] && echo "the signed launcher ran under Wine: ok"
exit $((failures > 0))
