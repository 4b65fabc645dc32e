#!/usr/bin/env bash
# windows_sign_test.sh WIN_BUILD: `make windows-package` signing with a
# throw-away code-signing certificate made here, both ways a company signs:
# a PKCS#12 file with its password in a file (CORVEX_SIGN_PFX), and a
# command that signs one file in place (CORVEX_SIGN_COMMAND, as a token or
# a signing service would). Every program file inside the MSI and the MSI
# itself verify with osslsigncode (Authenticode, SHA-256), and the command
# is called for each of them, the MSI last. WIN_BUILD/dist must exist; the
# packages are made in a folder of their own.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() {
  echo "windows-sign: $*" >&2
  exit 1
}

# A CA and a code-signing certificate it issued.
cd "$scratch"
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 -subj '/CN=Corvex test CA' \
  -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign 2>/dev/null
openssl req -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr -subj '/CN=Corvex test signer' 2>/dev/null
printf 'keyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >signer.ext
openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -extfile signer.ext \
  -out signer.pem 2>/dev/null
echo 'a long throw-away password' >password
openssl pkcs12 -export -inkey signer.key -in signer.pem -certfile ca.pem -passout file:password -out signer.pfx
cat >sign-one.sh <<SIGN
#!/usr/bin/env bash
set -e
echo "\$(basename "\$1")" >>"$scratch/signed-by-command"
osslsigncode sign -certs "$scratch/signer.pem" -key "$scratch/signer.key" -h sha256 -in "\$1" -out "\$1.s" >/dev/null
mv "\$1.s" "\$1"
SIGN
cd - >/dev/null

program_files() { find -L "$build/dist" -type f \( -name '*.exe' -o -name '*.dll' \) | wc -l; }

# Every .exe and .dll in MSI, and MSI itself, carry a SHA-256 Authenticode
# signature that verifies against the test CA.
verify_package() {
  local msi=$1 extracted=$scratch/extracted file count=0
  rm -rf "$extracted"
  mkdir -p "$extracted"
  (cd "$extracted" && msiextract "$msi" >/dev/null)
  while IFS= read -r -d '' file; do
    verified "$file" || fail "$(basename "$file") in $(basename "$msi") does not verify"
    count=$((count + 1))
  done < <(find "$extracted" -type f \( -name '*.exe' -o -name '*.dll' \) -print0)
  [ "$count" = "$(program_files)" ] || fail "$count program files in $(basename "$msi"), $(program_files) in dist"
  verified "$msi" || fail "$(basename "$msi") itself does not verify"
}
verified() {
  osslsigncode verify -CAfile "$scratch/ca.pem" -in "$1" >"$scratch/verify.txt" 2>&1 &&
    grep -i 'digest algorithm *: *sha256' "$scratch/verify.txt" >/dev/null
}
package() {
  mkdir -p "$scratch/$1"
  ln -s "$(realpath "$build/dist")" "$scratch/$1/dist"
  bash scripts/windows-package.sh "$scratch/$1" >"$scratch/$1.out" || fail "$1: $(cat "$scratch/$1.out")"
  ls "$scratch/$1"/corvex-*-x64.msi
}

msi=$(CORVEX_SIGN_PFX=$scratch/signer.pfx CORVEX_SIGN_PASSWORD_FILE=$scratch/password package pfx)
verify_package "$msi"
msi=$(CORVEX_SIGN_COMMAND="bash $scratch/sign-one.sh" package command)
verify_package "$msi"
[ "$(tail -n 1 "$scratch/signed-by-command")" = "$(basename "$msi")" ] || fail "the MSI is not signed last"
[ "$(grep -c . "$scratch/signed-by-command")" = "$(($(program_files) + 1))" ] ||
  fail "CORVEX_SIGN_COMMAND was not called once for each file"
package plain >/dev/null
[ "$(grep -c unsigned "$scratch/plain.out")" = 1 ] || fail "an unsigned package does not say so in one line"
echo "windows-sign: every program file and the MSI verify, signed with a PKCS#12 file and with a command"
