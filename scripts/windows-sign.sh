# Sourced by windows-package.sh: sign_file FILE signs FILE in place, with
# Authenticode and SHA-256, as the CORVEX_SIGN_* variables say (see there),
# or does nothing when none is set.
if [ -n "${CORVEX_SIGN_COMMAND:-}" ]; then
  echo "windows-package: signing with CORVEX_SIGN_COMMAND"
  sign_file() {
    bash -c "$CORVEX_SIGN_COMMAND \"\$1\"" corvex-sign "$1" >/dev/null ||
      { echo "windows-package: CORVEX_SIGN_COMMAND failed on $1" >&2; return 1; }
  }
elif [ -n "${CORVEX_SIGN_PFX:-}" ]; then
  echo "windows-package: signing with $CORVEX_SIGN_PFX${CORVEX_SIGN_TIMESTAMP:+, time-stamped by $CORVEX_SIGN_TIMESTAMP}"
  sign_file() {
    local file=$1 options=(-pkcs12 "$CORVEX_SIGN_PFX" -h sha256 -n Corvex)
    if [ -n "${CORVEX_SIGN_PASSWORD_FILE:-}" ]; then options+=(-readpass "$CORVEX_SIGN_PASSWORD_FILE"); fi
    if [ -n "${CORVEX_SIGN_TIMESTAMP:-}" ]; then options+=(-ts "$CORVEX_SIGN_TIMESTAMP"); fi
    rm -f "$file.signed"
    osslsigncode sign "${options[@]}" -in "$file" -out "$file.signed" >/dev/null ||
      { echo "windows-package: osslsigncode could not sign $file" >&2; return 1; }
    mv "$file.signed" "$file"
  }
else
  echo "windows-package: unsigned (CORVEX_SIGN_PFX or CORVEX_SIGN_COMMAND signs it: docs/developer.md)"
  sign_file() { :; }
fi
