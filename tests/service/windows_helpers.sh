# shellcheck shell=bash disable=SC2034
# Sourced by the Windows install tests, after scripts/windows-env.sh:
# wine and wineserver, and two helpers.
wine=$(wine_loader)
wineserver=${wine%64}server

# A Windows program's output without its CRs, and its exit status (124
# when it has not ended within 5 minutes).
win() {
  local out status=0
  out=$(timeout 300 "$wine" "$@" 2>/dev/null) || status=$?
  printf '%s\n' "${out//$'\r'/}"
  return "$status"
}

# Asks `condition` five times a second until it holds, for at most SECONDS.
wait_for() {
  local seconds=$1 i
  shift
  for ((i = 0; i < seconds * 5; i++)); do
    "$@" && return 0
    sleep 0.2
  done
  "$@"
}
