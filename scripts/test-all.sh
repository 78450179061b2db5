#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs every unit test and every fuzz-corpus
# replay; the concurrency tests also run under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs=$(nproc)

# ThreadSanitizer: only the test programs that hold concurrency tests, and
# only those tests (files named *ConcurrencyTest.cpp).
tsan_targets=()
for dir in tests/*/; do
    mod=$(basename "$dir")
    if ls "$dir"*ConcurrencyTest.cpp >/dev/null 2>&1; then
        tsan_targets+=("test_$mod")
    fi
done
if [ ${#tsan_targets[@]} -gt 0 ]; then
    cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
          -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" -DKESTRO_SANITIZE=thread >/dev/null
    cmake --build build-tsan -j "$jobs" --target "${tsan_targets[@]}"
    for t in "${tsan_targets[@]}"; do
        echo "== $t under ThreadSanitizer =="
        TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
            ./build-tsan/bin/"$t" --gtest_filter='*Concurrency*' --gtest_brief=1
    done
fi

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
      -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" -DKESTRO_SANITIZE=address,undefined >/dev/null
cmake --build build-asan -j "$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cd build-asan
ctest --output-on-failure -j "$jobs" --timeout 600
