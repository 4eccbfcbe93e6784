#!/usr/bin/env bash
# Makes the Debian package from the release build (build/release, configured here when it is
# not yet) with CPack, and prints its path: build/release/package/orvello_<version>_<arch>.deb.
# A release build that is already up to date is reused as it is.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/release
if [ ! -f "$build/CMakeCache.txt" ]; then
    # A package needs neither the tests nor the benchmarks.
    cmake --preset release -DORVELLO_BUILD_TESTS=OFF -DORVELLO_BUILD_BENCH=OFF >/dev/null
fi
cmake --build --preset release -j "$(nproc)"

# A package of an earlier version must not pass for this one.
rm -rf "$build/package"
cpack --config "$build/CPackConfig.cmake" -B "$build/package" >"$build/cpack.log" 2>&1 || {
    cat "$build/cpack.log" >&2
    exit 1
}
ls "$build"/package/orvello_*.deb
