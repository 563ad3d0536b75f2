#!/usr/bin/env bash
# Runs every fuzz target for a long while (default 10 minutes each) with sanitizers on.
# A crash leaves its input in build/fuzz/crashes/: fix the fault, then keep the input in
# tests/fuzz/regressions/<target>/ so the test suite replays it from then on.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
mkdir -p build/fuzz/crashes
for target in fuzz_install_folder fuzz_lngcheck; do
    echo "== $target for ${seconds}s"
    seeds=()
    [ "$target" = fuzz_lngcheck ] && seeds=(payloads payloads/reference)
    build/fuzz/tests/fuzz/$target -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix=build/fuzz/crashes/$target- -print_final_stats=1 \
        build/fuzz/tests/fuzz/corpus/$target tests/fuzz/regressions/$target "${seeds[@]}"
done
