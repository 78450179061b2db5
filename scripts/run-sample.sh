#!/usr/bin/env bash
# Installs what is missing, builds the tool in release mode and runs its main job.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRO_TESTS=OFF >/dev/null
cmake --build build-release
echo "== KestroUtil =="
./build-release/bin/KestroUtil "$@"
