#!/usr/bin/env bash
# Installs what is missing, builds the release build of the console and opens it. The console
# keeps its "Segment Programs" and "Logs" folders under the folder it is started from: the
# repository's run/ folder.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target orvello -j "$(nproc)"

mkdir -p run
cd run
exec ../build/release/apps/orvello "$@"
