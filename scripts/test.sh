#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite: the default build, the
# optimised build (which also builds the benchmarks), the AddressSanitizer+UBSan and
# ThreadSanitizer builds, and a short bounded run of every fuzz target; after the optimised build,
# the README's run command end to end (scripts/e2e-console.sh). Pass preset names
# (default release asan tsan fuzz) to run fewer; ORVELLO_TEST_RELEASE=1 also tests the optimised
# build. Every run first checks that the sources are formatted with clang-format. Each stage
# reports how long it took.
set -euo pipefail
cd "$(dirname "$0")/.."

SECONDS=0
bash scripts/install-deps.sh
echo "=== packages: $SECONDS s"

presets=("$@")
if [ "${#presets[@]}" -eq 0 ]; then presets=(default release asan tsan fuzz); fi

jobs=$(nproc)
# Most tests spend their time waiting on serial lines and timers, not on the processor, so twice
# as many run side by side as there are cores; ThreadSanitizer's tests are the exception.
test_jobs=$((2 * jobs))
stage() {
    local name=$1
    shift
    local start=$SECONDS
    echo "=== ${name}"
    "$@"
    echo "=== ${name}: $((SECONDS - start)) s"
}

stage "format" bash scripts/check-format.sh

for preset in "${presets[@]}"; do
    stage "${preset}: configure and build" \
        bash -c "cmake --preset '$preset' >/dev/null && cmake --build --preset '$preset' -j $jobs"
    if [ "$preset" = release ]; then
        # The README's run command end to end under a virtual X server, on the build just made.
        stage "release: end to end" bash scripts/e2e-console.sh
    fi
    if [ "$preset" = fuzz ]; then
        stage "fuzz: run" bash scripts/run-fuzzers.sh "build/fuzz/fuzz" "${ORVELLO_FUZZ_SECONDS:-15}"
    elif [ "$preset" = release ] && [ -z "${ORVELLO_TEST_RELEASE:-}" ]; then
        # Built so that an optimised build (and the benchmarks) is checked every time; its tests
        # repeat the default ones and run when ORVELLO_TEST_RELEASE is set, which keeps CI short.
        continue
    else
        parallel=$test_jobs
        if [ "$preset" = tsan ]; then parallel=$jobs; fi
        stage "${preset}: test" ctest --preset "$preset" -j "$parallel"
    fi
done
echo "=== all stages: $SECONDS s"
