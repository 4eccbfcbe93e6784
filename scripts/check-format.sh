#!/usr/bin/env bash
# Fails, naming the files, when a tracked C++ file differs from what clang-format makes of it with
# the project's .clang-format; `clang-format -i` on those files mends them.
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t files < <(git ls-files '*.cpp' '*.h' 2>/dev/null || find apps bench fuzz src tests -name '*.cpp' -o -name '*.h')
unformatted=()
for f in "${files[@]}"; do
    if ! clang-format --dry-run --Werror "$f" >/dev/null 2>&1; then unformatted+=("$f"); fi
done
if [ "${#unformatted[@]}" -gt 0 ]; then
    echo "check-format: not formatted with clang-format:" >&2
    printf '  %s\n' "${unformatted[@]}" >&2
    exit 1
fi
echo "check-format: ${#files[@]} files formatted"
