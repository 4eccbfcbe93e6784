#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite: the default build, the
# AddressSanitizer+UBSan and ThreadSanitizer builds, and a short bounded run of every fuzz
# target. Pass preset names (default asan tsan fuzz) to run fewer.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

presets=("$@")
if [ "${#presets[@]}" -eq 0 ]; then presets=(default asan tsan fuzz); fi

jobs=$(nproc)
for preset in "${presets[@]}"; do
    echo "=== ${preset}: configure and build"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    if [ "$preset" = fuzz ]; then
        bash scripts/run-fuzzers.sh "build/fuzz/fuzz" "${ORVELLO_FUZZ_SECONDS:-20}"
    else
        echo "=== ${preset}: test"
        ctest --preset "$preset" -j "$jobs"
    fi
done
