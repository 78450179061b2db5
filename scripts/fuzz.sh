#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer (ASan + UBSan) and runs one
# of them over its corpus: scripts/fuzz.sh <target> [seconds]. New inputs go to
# a scratch folder; copy crash inputs into fuzz/corpus/<target>/ to keep them.
# The build runs KESTRO_JOBS (default 4) compile jobs at a time. Targets keep
# their files under TMPDIR, /dev/shm when it is not set.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh --fuzz
target=${1:?usage: scripts/fuzz.sh <target> [seconds]}
seconds=${2:-600}
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKESTRO_TESTS=OFF -DKESTRO_LIBFUZZER=ON -DKESTRO_SANITIZE=address,undefined >/dev/null
cmake --build build-fuzz -j "${KESTRO_JOBS:-4}" --target "$target"
scratch=$(mktemp -d)
# Targets that lay out files sync them as the code under test does; on a
# memory file system a sync costs nothing and the runs stay fast.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
    export TMPDIR=/dev/shm
fi
mkdir -p "fuzz/crashes/$target"
./build-fuzz/bin/"$target" -max_total_time="$seconds" -artifact_prefix="fuzz/crashes/$target/" \
    "$scratch" "fuzz/corpus/$target"
