#!/usr/bin/env bash
# Installs what is missing, builds the release build of the console and of the simulated rig,
# starts the rig (one instrument set) in the console's port folder and opens the console beside
# it; the rig stops when the console ends, however it ends (see scripts/beside-rig.sh). The
# console keeps its "Segment Programs" and "Logs" folders under the folder it is started from:
# the repository's run/ folder. Arguments go to the console.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target orvello orvello-rig -j "$(nproc)"

mkdir -p run
cd run
exec bash ../scripts/beside-rig.sh ../build/release/apps/orvello-rig ../build/release/apps/orvello "$@"
