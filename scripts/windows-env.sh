# Sourced by the Windows scripts: where the Windows SDK and Wine are.

# The SDK's tarball: the one CORVEX_WINSDK names, else the first of
# ../shared/windows-sdk/; empty when there is none.
windows_sdk_tarball() {
  if [ -n "${CORVEX_WINSDK:-}" ]; then
    [ -f "$CORVEX_WINSDK" ] && echo "$CORVEX_WINSDK"
  else
    compgen -G '../shared/windows-sdk/*.tar.xz' | head -n 1
  fi
  return 0
}

# Debian's wine64 puts its loader outside PATH.
wine_loader() {
  if command -v wine64 >/dev/null 2>&1; then command -v wine64
  elif [ -x /usr/lib/wine/wine64 ]; then echo /usr/lib/wine/wine64
  else command -v wine; fi
}

# A Wine prefix made once below the build folder: the null graphics driver,
# so windows open without a display, and no crash dialog, so a crashing
# program ends (printing its backtrace) instead of waiting for a click.
windows_wine_prefix() {
  local prefix=$1 wine
  wine=$(wine_loader)
  export WINEPREFIX=$prefix WINEDEBUG=${WINEDEBUG:--all}
  [ -f "$prefix/.corvex-ready" ] && return 0
  mkdir -p "$prefix"
  # No Mono or Gecko: nothing here needs them, and Wine would ask for them.
  WINEDLLOVERRIDES='mscoree,mshtml=' "$wine" wineboot -i >/dev/null 2>&1
  "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
  "$wine" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  "${wine%64}server" -w
  touch "$prefix/.corvex-ready"
}
