#!/usr/bin/env bash
# Runs every built fuzz target for a bounded time, each from an empty scratch corpus
# seeded by fuzz/corpus/<target>/ when that folder exists.
set -euo pipefail
dir=$1
seconds=$2
root="$(cd "$(dirname "$0")/.." && pwd)"
shopt -s nullglob
targets=("$dir"/*_fuzz)
if [ "${#targets[@]}" -eq 0 ]; then
    echo "no fuzz targets built"
    exit 0
fi
for target in "${targets[@]}"; do
    name=$(basename "$target")
    scratch=$(mktemp -d)
    seeds=()
    [ -d "$root/fuzz/corpus/$name" ] && seeds=("$root/fuzz/corpus/$name")
    echo "=== fuzz: $name for ${seconds}s"
    "$target" -max_total_time="$seconds" -print_final_stats=0 "$scratch" "${seeds[@]}" 2>&1 | tail -n 3
    rm -rf "$scratch"
done
