#!/usr/bin/env bash
# Installs what is missing and builds both targets; the six Windows libraries land in dist/.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

for preset in native windows; do
    cmake --preset "$preset"
    cmake --build --preset "$preset"
done

# Conformance run of every library: the native sephost against the native shared objects, the
# Windows sephost.exe under Wine against the .sep files in dist/. One summary row per run.
validate_all() {
    local failed=0 build file tool lib output header verdict factor version
    printf '\n%-8s %-14s %-7s %-10s %s\n' build library factor version result
    for build in native windows; do
        for file in $(tail -n +2 gain/variants.csv | cut -d, -f1); do
            if [ "$build" = native ]; then
                tool=(build/native/tools/sephost/sephost)
                lib="build/native/dist/$file"
            else
                tool=(env "WINEPREFIX=$PWD/build/windows/wineprefix" WINEDEBUG=-all wine
                      build/windows/tools/sephost/sephost.exe)
                lib="dist/$file"
            fi
            output=$("${tool[@]}" validate "$lib" 2>&1) || failed=1
            header=$(grep -m1 '^library ' <<<"$output" || true)
            verdict=$(tail -n1 <<<"$output")
            factor=$(sed -n 's/.*: factor \([-0-9]*\) .*/\1/p' <<<"$header")
            version=$(sed -n 's/.*, version \([^,]*\),.*/\1/p' <<<"$header")
            printf '%-8s %-14s %-7s %-10s %s\n' "$build" "$file" "${factor:--}" "${version:--}" \
                "$verdict"
            grep '^FAIL ' <<<"$output" | sed 's/^/         /' || true
        done
    done
    return "$failed"
}
validate_all
