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

# The native suite again under AddressSanitizer, LeakSanitizer and UndefinedBehaviorSanitizer;
# it includes the 10,000-cycle lifetime check (valgrind memcheck runs it in the native suite).
echo "== sanitize =="
cmake --preset sanitize
cmake --build --preset sanitize
ctest --preset sanitize

# A bounded libFuzzer run over the gain instance, starting from the committed corpus. New finds
# go to a scratch directory in the build tree, never into the source tree.
echo "== fuzz =="
cmake --preset fuzz
cmake --build --preset fuzz
mkdir -p build/fuzz/corpus
build/fuzz/tests/fuzz/gain_fuzz -max_total_time=60 -max_len=4096 -print_final_stats=1 \
    build/fuzz/corpus tests/fuzz/corpus
