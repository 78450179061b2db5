#!/usr/bin/env bash
# Installs, with apt-get, whatever the build and the tests need and is missing.
set -euo pipefail

# rapidjson-dev: the header-only JSON parser the config text bench measures
# against; nothing else includes it. liblua5.4-dev: the script library
# bench's yardstick, likewise; lua5.4 brings luac5.4, the script parser
# bench's. bison: the script compiler's parser tables. libnvtt-dev: the
# texture compressor; libfreetype-dev: the script images' text, with
# libfontconfig-dev to find faces and fonts-dejavu-core for the tests;
# libpng-dev, libjpeg-dev: image files; python3: the online service's
# stand-in in the tests. libembree-dev: the collision bench's yardstick.
# strace: the tests that kill the stand-in daemon at a chosen system call.
packages=(g++ cmake ninja-build pkg-config bison libgtest-dev libgmock-dev googletest
          libbenchmark-dev rapidjson-dev liblua5.4-dev lua5.4 zlib1g-dev libssl-dev openssl
          libnvtt-dev libfreetype-dev libfontconfig-dev fonts-dejavu-core libpng-dev libjpeg-dev
          python3 libembree-dev strace)
if [ "${1:-}" = "--fuzz" ]; then
    packages+=(clang libclang-rt-dev)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -q
    $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
