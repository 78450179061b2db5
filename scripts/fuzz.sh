#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer (ASan + UBSan) and runs one
# of them over its corpus: scripts/fuzz.sh <target> [seconds]. New inputs go to
# a scratch folder; copy crash inputs into fuzz/corpus/<target>/ to keep them.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh --fuzz
target=${1:?usage: scripts/fuzz.sh <target> [seconds]}
seconds=${2:-600}
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKESTRO_TESTS=OFF -DKESTRO_LIBFUZZER=ON -DKESTRO_SANITIZE=address,undefined >/dev/null
cmake --build build-fuzz --target "$target"
scratch=$(mktemp -d)
mkdir -p "fuzz/crashes/$target"
./build-fuzz/bin/"$target" -max_total_time="$seconds" -artifact_prefix="fuzz/crashes/$target/" \
    "$scratch" "fuzz/corpus/$target"
