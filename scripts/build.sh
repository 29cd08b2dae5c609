#!/usr/bin/env bash
# Installs what is missing and builds both targets; the six Windows libraries land in dist/.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

for preset in native windows; do
    cmake --preset "$preset"
    cmake --build --preset "$preset"
done
