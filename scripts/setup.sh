#!/usr/bin/env bash
# Installs the build and test dependencies on Debian when they are missing.
# As root it runs apt-get itself; otherwise it prints the command to run.
set -euo pipefail

packages=(cmake g++ g++-multilib clang libclang-rt-14-dev g++-mingw-w64-i686 binutils-mingw-w64-i686
          wine wine32:i386 googletest valgrind libc6-dbg:i386 clang-format)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    need_i386=1
else
    need_i386=0
fi

if [ ${#missing[@]} -eq 0 ] && [ $need_i386 -eq 0 ]; then
    exit 0
fi

cmd="dpkg --add-architecture i386 && apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages: ${missing[*]}" >&2
    echo "Run as root: $cmd" >&2
    exit 1
fi
echo "setup: installing ${missing[*]}" >&2
dpkg --add-architecture i386
apt-get update -q
DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
