#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite: the default build, the
# optimised build (which also builds the benchmarks), the AddressSanitizer+UBSan and
# ThreadSanitizer builds, and a short bounded run of every fuzz target; after the optimised build,
# the README's run command end to end (scripts/e2e-console.sh) and the Debian package made from
# that same build (scripts/package.sh) and checked (tests/packaging/check-package.sh). Pass
# preset names (default release asan tsan fuzz) to run fewer; ORVELLO_TEST_RELEASE=1 also tests
# the optimised build. Every run first checks that the sources are formatted with clang-format.
# Each stage reports how long it took.
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

# The optimised build checks the benchmarks, so the debug build leaves them out; the optimised
# build's tests repeat the debug ones and are built only when they are to run. All are said
# every time, so a build folder left by an earlier run (or by scripts/package.sh) cannot keep
# another choice.
# The debug builds carry line tables only (-g1): enough for every sanitizer report and backtrace
# to name files and lines, at a quarter less compile time and much smaller objects to link than
# full debug information.
options_of() {
    local lines="-DCMAKE_CXX_FLAGS_DEBUG=-g1"
    case $1 in
    default) echo "-DORVELLO_BUILD_BENCH=OFF $lines" ;;
    asan | tsan) echo "$lines" ;;
    release)
        local tests=OFF
        if [ -n "${ORVELLO_TEST_RELEASE:-}" ]; then tests=ON; fi
        echo "-DORVELLO_BUILD_TESTS=$tests -DORVELLO_BUILD_BENCH=ON"
        ;;
    esac
}

for preset in "${presets[@]}"; do
    stage "${preset}: configure and build" \
        bash -c "cmake --preset '$preset' $(options_of "$preset") >/dev/null && cmake --build --preset '$preset' -j $jobs"
    if [ "$preset" = release ]; then
        # The README's run command end to end under a virtual X server, on the build just made.
        stage "release: end to end" bash scripts/e2e-console.sh
        stage "release: package" bash scripts/package.sh
        stage "release: package check" bash tests/packaging/check-package.sh
    fi
    if [ "$preset" = fuzz ]; then
        stage "fuzz: run" bash scripts/run-fuzzers.sh "build/fuzz/fuzz" "${ORVELLO_FUZZ_SECONDS:-15}"
    elif [ "$preset" = release ] && [ -z "${ORVELLO_TEST_RELEASE:-}" ]; then
        continue
    else
        parallel=$test_jobs
        if [ "$preset" = tsan ]; then parallel=$jobs; fi
        stage "${preset}: test" ctest --preset "$preset" -j "$parallel"
    fi
done
echo "=== all stages: $SECONDS s"
