#!/usr/bin/env bash
# Installs the build into a scratch prefix, as a package would, and runs the
# installed program's check against a workspace made by the installed program.
set -euo pipefail
cmake_command=$1
build=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

"$cmake_command" --install "$build" --prefix "$scratch/usr" >/dev/null
corvex=$scratch/usr/bin/corvex
for file in lib/systemd/system/corvex.service lib/systemd/system/corvex@.service \
            share/corvex/layouts/arSVDTEFactura.json share/doc/corvex/README.md \
            share/doc/corvex/docs/administrator.md; do
  [ -f "$scratch/usr/$file" ] || { echo "not installed: $file"; exit 1; }
done
for unit in corvex.service corvex@.service; do
  for doc in $(sed -n 's|^Documentation=||p' "$scratch/usr/lib/systemd/system/$unit"); do
    [ -f "${doc#file://}" ] || { echo "$unit: Documentation names $doc, which is not installed"; exit 1; }
  done
done
grep -q "^ExecStart=$corvex --headless --exit-on-error --app-dir /var/lib/corvex\$" \
  "$scratch/usr/lib/systemd/system/corvex.service" || { echo "unit does not start $corvex"; exit 1; }
grep -q "^ExecStart=$corvex --headless --exit-on-error --app-dir /var/lib/corvex/%i\$" \
  "$scratch/usr/lib/systemd/system/corvex@.service" || { echo "template unit does not start $corvex"; exit 1; }

env -u DISPLAY -u WAYLAND_DISPLAY "$corvex" demo "$scratch/demo" >/dev/null
out=$(env -u DISPLAY -u WAYLAND_DISPLAY "$corvex" check --app-dir "$scratch/demo" 2>"$scratch/err")
echo "$out"
[ ! -s "$scratch/err" ] || { echo "standard error:"; cat "$scratch/err"; exit 1; }
! grep -qv '^ok  ' <<<"$out" || { echo "a check did not pass"; exit 1; }
