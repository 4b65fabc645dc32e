#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Corvex needs.
# Machines start bare, so this is the only place that knows the package list.
set -euo pipefail

packages=(
  # build
  g++ cmake ninja-build make pkg-config clang-format
  qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite
  libcurl4-openssl-dev libssl-dev libqrencode-dev nlohmann-json3-dev
  # make windows-check: mingw-w64's compiler with its Windows and ODBC headers
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
  # make windows (cross build with the Windows SDK) and its tests under Wine
  binutils-mingw-w64-x86-64 xz-utils wine wine64
  # every build: rebuilds of the same sources come from its cache
  ccache
  # make windows-package: the MSI (wixl, wixl-heat) and its tables (msibuild)
  wixl msitools
  # make windows-package with a certificate: Authenticode signatures
  osslsigncode
  # database clients
  unixodbc unixodbc-dev tdsodbc freetds-bin sqlite3
  # tests and their real peers
  googletest libgtest-dev libbenchmark-dev python3 python3-aiosmtpd openssl
  zbar-tools poppler-utils xvfb xauth x11-utils python3-xlib fonts-liberation
  python3-jsonschema
  imagemagick
  # a real Postfix on loopback for the mail tests, with Cyrus SASL and a sasldb
  postfix sasl2-bin libsasl2-modules libsasl2-modules-db
  # a real Dovecot on loopback that serves the bounces Postfix writes back (IMAP)
  dovecot-imapd
  # packaging (make package: dpkg-shlibdeps)
  dpkg-dev
  # fuzzing: clang with libFuzzer and the sanitizer runtimes
  clang llvm libclang-rt-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  # Postfix without a configuration of its own: no prompt, and no system
  # service on port 25; the tests run instances in folders of their own, as
  # they do Dovecot's (a system Dovecot the package starts is left alone: the
  # tests take free ports of their own).
  echo "postfix postfix/main_mailer_type select No configuration" | "${sudo[@]}" debconf-set-selections
  "${sudo[@]}" apt-get update
  "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi

# The package ships the FreeTDS ODBC driver without registering it under the
# name the program uses by default.
if ! odbcinst -q -d -n FreeTDS >/dev/null 2>&1; then
  "${sudo[@]}" odbcinst -i -d -f /usr/share/tdsodbc/odbcinst.ini
fi
