#!/usr/bin/env bash
# windows-bench.sh LINUX_BUILD WIN_BUILD [ARGS...]: the pipeline benchmark
# over the same documents with this system's build/corvex and then with the
# Windows build's corvex.exe under Wine (WIN_BUILD/dist, make windows), in the
# Wine prefix of the Windows tests. ARGS go to both runs (sizes, --source).
set -euo pipefail
cd "$(dirname "$0")/.."
linux=$1
build=$2
shift 2
# shellcheck source=scripts/windows-env.sh
source scripts/windows-env.sh
if [ ! -f "$build/dist/corvex.exe" ]; then
  echo "windows-bench: no $build/dist/corvex.exe; make windows builds it" >&2
  exit 1
fi
windows_wine_prefix "$PWD/$build/wineprefix"
wine=$(wine_loader)
# Wine's server stays up between the runs, as it would between a service's
# runs: its start is no part of a document's cost. One already up answers
# with a failure, which is as good. Its standard streams are not the
# caller's: a pipe it held open would outlive the benchmark.
server="${wine%64}server"
"$server" -p 60 </dev/null >/dev/null 2>&1 || true
trap '"$server" -k 2>/dev/null || true' EXIT
echo "== $linux/corvex"
"$linux/bench/corvex_pipeline_bench" "$@"
echo "== $build/dist/corvex.exe under $("$wine" --version)"
CORVEX_WINDOWS_PROGRAM="$PWD/$build/dist/corvex.exe" CORVEX_WINE="$wine" \
  "$linux/bench/corvex_pipeline_bench" --windows "$@"
