#!/usr/bin/env bash
# Builds Kavrel and runs every test with ctest.
#   scripts/test.sh              normal build in build/, then the Windows programs
#                                cross-built in build-win/ and tested under Wine
#                                (scripts/test-windows.sh)
#   scripts/test.sh --sanitize   AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/
#   scripts/test.sh --clang      everything built with clang in build-clang/ (the tests
#                                too), warnings as errors, then each fuzz target for a
#                                bounded time
#                                (longer runs: fuzz/run)
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build
flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DKAVREL_WERROR=ON)
if [ "${1:-}" = "--sanitize" ]; then
  dir=build-asan
  flags=(-DCMAKE_BUILD_TYPE=Debug -DKAVREL_SANITIZE=ON -DKAVREL_WERROR=ON)
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi
if [ "${1:-}" = "--clang" ]; then
  # The tests are built too (clang must take them as GCC does), not run.
  cmake -S . -B build-clang -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Release \
    -DKAVREL_WERROR=ON -DKAVREL_TESTS=ON -DKAVREL_FUZZ=ON >/dev/null
  cmake --build build-clang
  # Each target on a copy of its seed corpus, with a scratch folder of its own
  # as TMPDIR; four seconds each, about a minute for all of them. An input that
  # fails is kept in build-clang/fuzz-artifacts/.
  mkdir -p build-clang/fuzz-artifacts
  for target in pe_version parse_version control_date ini_document control_values \
                expand_macros locations stub_arguments list_file cabinet szdd; do
    corpus=$(mktemp -d)
    scratch=$(mktemp -d)
    cp -r "fuzz/corpus/$target/." "$corpus/"
    status=0
    TMPDIR=$scratch build-clang/fuzz/fuzz_$target -max_total_time=4 -timeout=10 \
      -print_final_stats=0 -artifact_prefix=build-clang/fuzz-artifacts/ "$corpus" \
      >"$scratch/log" 2>&1 || status=$?
    if [ "$status" -ne 0 ]; then
      tail -40 "$scratch/log"
      echo "fuzz_$target failed" >&2
      exit 1
    fi
    echo "fuzz_$target: $(tail -1 "$scratch/log")"
    rm -rf "$corpus" "$scratch"
  done
  exit 0
fi
cmake -S . -B "$dir" -G Ninja "${flags[@]}" >/dev/null
cmake --build "$dir"
ctest --test-dir "$dir" --output-on-failure -j2 --timeout 300
if [ "$dir" = build ]; then
  bash scripts/test-windows.sh
fi
