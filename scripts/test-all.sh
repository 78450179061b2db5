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
# A test program is named after its module folder under tests/ ("gs/runtime"
# gives test_gs_runtime); the tests themselves may sit in sub-folders.
tsan_targets=()
while IFS= read -r file; do
    rel=${file#tests/}
    case "$rel" in
        gs/*) mod=$(echo "$rel" | cut -d/ -f1-2) ;;
        *) mod=${rel%%/*} ;;
    esac
    target="test_${mod//\//_}"
    [[ " ${tsan_targets[*]} " == *" $target "* ]] || tsan_targets+=("$target")
done < <(find tests -name '*ConcurrencyTest.cpp' | sort)
# Both builds keep line tables only (-g1): sanitizer reports still name
# file and line, and the builds are a fifth quicker than with full -g.
if [ ${#tsan_targets[@]} -gt 0 ]; then
    cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
          -DCMAKE_CXX_FLAGS_DEBUG="-g1 -O1" -DKESTRO_SANITIZE=thread >/dev/null
    cmake --build build-tsan -j "$jobs" --target "${tsan_targets[@]}"
    for t in "${tsan_targets[@]}"; do
        echo "== $t under ThreadSanitizer =="
        TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
            ./build-tsan/bin/"$t" --gtest_filter='*Concurrency*' --gtest_brief=1
    done
fi

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
      -DCMAKE_CXX_FLAGS_DEBUG="-g1 -O1" -DKESTRO_SANITIZE=address,undefined >/dev/null
cmake --build build-asan -j "$jobs"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cd build-asan
ctest --output-on-failure -j "$jobs" --timeout 600
