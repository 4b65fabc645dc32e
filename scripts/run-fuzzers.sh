#!/usr/bin/env bash
# Runs every fuzzer of a fuzz build: first over the inputs that once crashed
# it (fuzz/regressions/<name>/), then for SECONDS on new inputs grown from the
# committed seed corpus (fuzz/corpus/<name>/). New corpus entries and any
# crashing input stay in the build folder; the seeds are never written.
# Usage: run-fuzzers.sh BUILD_DIR SECONDS
set -euo pipefail
build=$(realpath "${1:-build-fuzz}")
seconds=${2:-30}
root=$(cd "$(dirname "$0")/.." && pwd)

failed=()
for target in "$build"/fuzz/fuzz_*; do
  [ -f "$target" ] && [ -x "$target" ] || continue
  name=$(basename "$target")
  name=${name#fuzz_}
  work="$build/corpus/$name"
  artifacts="$build/artifacts/$name"
  mkdir -p "$work" "$artifacts"
  echo "== $name: ${seconds}s"
  regressions=("$root/fuzz/regressions/$name"/*)
  if [ -e "${regressions[0]}" ] && ! "$target" "${regressions[@]}"; then
    failed+=("$name (regression)")
    continue
  fi
  if ! "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$artifacts/" "$work" "$root/fuzz/corpus/$name"; then
    failed+=("$name (inputs in $artifacts)")
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  printf 'fuzzer failed: %s\n' "${failed[@]}" >&2
  exit 1
fi
