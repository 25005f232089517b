#!/usr/bin/env bash
# Signs the built launcher with a throwaway certificate and checks the signature, the signed
# file's behaviour and resources, and that a bad certificate or password leaves no file behind.
# Writes only into a temporary folder and the build's: dist/ and build/signed/ hold what a user
# may ship, and stay as they are.
# Usage: signing.sh SOURCE-FOLDER [BUILD-FOLDER]   (the build whose launcher and tests to use;
# default build/release)
set -euo pipefail
root=$1 build=${2:-$1/build/release}
cd "$root"
work=$(mktemp -d /tmp/orvex-signing.XXXXXX)
trap 'rm -rf "$work"' EXIT
# What a release is picked up from: names, sizes and times, before and after.
shipped() { { find dist build/signed -printf '%p %s %T@\n' 2>/dev/null || true; } | sort; }
shipped_before=$(shipped)

echo "s3cret-for-tests" > "$work/password"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Orvex signing test" \
    -addext "extendedKeyUsage=codeSigning" -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/cert.p12" \
    -passout "file:$work/password"

unsigned=$build/uninstaller.exe
before=$(sha256sum "$unsigned")
tools/sign --pkcs12 "$work/cert.p12" --password-file "$work/password" --input "$unsigned" \
    --output "$work/signed.exe"
[ "$(sha256sum "$unsigned")" = "$before" ] || { echo "the unsigned build was changed"; exit 1; }

verify=$(osslsigncode verify -CAfile "$work/cert.pem" -in "$work/signed.exe" 2>&1) || {
    echo "$verify"; echo "signature does not verify"; exit 1; }
echo "$verify" | grep -E "Signature verification|Number of signers|Subject:" | head -4

imports() { i686-w64-mingw32-objdump -p "$1" | sed -n 's/^\s*DLL Name: //p'; }
[ "$(imports "$unsigned")" = "$(imports "$work/signed.exe")" ] || { echo "imports changed"; exit 1; }
tools/suite-on "signed-$(basename "$build")" "$work/signed.exe" "$build"

# Failures: a clear message, a non-zero status and no output file.
echo "not the password" > "$work/wrong"
for case in wrong-password missing-certificate; do
    out="$work/$case.exe"
    if [ $case = wrong-password ]; then
        args=(--pkcs12 "$work/cert.p12" --password-file "$work/wrong")
    else
        args=(--pkcs12 "$work/no-such.p12" --password-file "$work/password")
    fi
    if message=$(tools/sign "${args[@]}" --output "$out" 2>&1); then
        echo "$case: signing succeeded"; exit 1
    fi
    echo "$case: $(echo "$message" | head -1)"
    if ls "$work" | grep -q "^$case.exe"; then echo "$case: left a file behind"; exit 1; fi
done
# The package, signed: its checksums hold, its launcher verifies with a SHA-256 digest, and it
# does not call itself unsigned; without a certificate, it does.
tools/package --output-dir "$work/dist" --input "$unsigned" --pkcs12 "$work/cert.p12" \
    --password-file "$work/password" >/dev/null 2>"$work/package.err"
! grep UNSIGNED "$work/package.err" || { echo "a signed package called unsigned"; exit 1; }
mkdir "$work/unpacked"
/usr/bin/python3 -m zipfile -e "$work/dist/orvex-uninstaller-1.0.0-x86.zip" "$work/unpacked"
(cd "$work/unpacked/orvex-uninstaller-1.0.0-x86" && sha256sum -c SHA256SUMS)
verify=$(osslsigncode verify -CAfile "$work/cert.pem" \
    -in "$work/unpacked/orvex-uninstaller-1.0.0-x86/uninstaller.exe" 2>&1)
echo "$verify" | grep -E "^Message digest algorithm *: SHA256$" ||
    { echo "$verify"; echo "not signed with SHA-256"; exit 1; }
tools/package --output-dir "$work/dist-unsigned" --input "$unsigned" \
    >/dev/null 2>"$work/package.err"
grep "UNSIGNED: uninstaller.exe" "$work/package.err" ||
    { cat "$work/package.err"; echo "an unsigned package did not say so"; exit 1; }
[ "$(shipped)" = "$shipped_before" ] || {
    echo "dist/ or build/signed/ was changed:"; diff <(echo "$shipped_before") <(shipped); exit 1; }
echo "signing: all checks passed"
