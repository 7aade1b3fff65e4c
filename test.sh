#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test headless:
# once in a normal build, once with AddressSanitizer and UndefinedBehaviorSanitizer,
# and the fuzz targets over their seed corpora.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh

export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

echo "== Normal build"
# build/ stays run.sh's: the test entry points compiled in there would make each
# command rebuild the whole program after the other.
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLET_WERROR=ON \
    -DQUILLET_TESTS=ON >/dev/null
cmake --build build-test -j"$jobs"
ctest --test-dir build-test --output-on-failure -j"$jobs"

echo "== AddressSanitizer and UndefinedBehaviorSanitizer build"
cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLET_WERROR=ON \
    -DQUILLET_TESTS=ON -DQUILLET_SANITIZE=ON -DQUILLET_BENCH=OFF >/dev/null
cmake --build build-sanitize -j"$jobs"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
ctest --test-dir build-sanitize --output-on-failure -j"$jobs"
unset ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS

if [ -d fuzz ]; then
    echo "== Fuzz targets over their seed corpora"
    CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLET_FUZZ=ON \
        -DQUILLET_TESTS=OFF -DQUILLET_BENCH=OFF >/dev/null
    cmake --build build-fuzz -j"$jobs"
    # A fixed time per target, not a number of runs: the slow targets get as long
    # as the fast ones. A dictionary beside a target's source (fuzz/rtf/rtf.dict for
    # fuzz_rtf) gives its mutations the words of its format.
    for target in build-fuzz/fuzz/*/fuzz_*; do
        [ -f "$target" ] && [ -x "$target" ] || continue
        name=$(basename "$target")
        corpus=fuzz/corpus/${name#fuzz_}
        dict=fuzz/$(basename "$(dirname "$target")")/${name#fuzz_}.dict
        options=(-max_total_time=60 -max_len=65536 -timeout=10)
        [ -f "$dict" ] && options+=(-dict="$dict")
        work=$(mktemp -d)
        cp -r "$corpus"/. "$work"/ 2>/dev/null || true
        "$target" "${options[@]}" "$work"
        rm -rf "$work"
    done
fi
echo "All tests passed."
