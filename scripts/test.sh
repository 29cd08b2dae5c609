#!/usr/bin/env bash
# The whole suite: installs what is missing, builds both targets and runs every test,
# natively and under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

for preset in native windows; do
    echo "== $preset =="
    cmake --preset "$preset"
    cmake --build --preset "$preset"
    ctest --preset "$preset"
done
