#!/usr/bin/env bash
# Builds the message-window, signature, database, loader, search, edited-copy and server
# tests with AddressSanitizer and UndefinedBehaviorSanitizer into build-asan/ and runs them.
set -euo pipefail
cd "$(dirname "$0")/.."
targets=(platform_tests signature_tests db_tests db_crash_tests loader_tests loader_stress_tests search_tests edits_tests remote_protocol_tests)
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DGQ_SANITIZE=address,undefined -DGQ_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan -j "$(nproc)" --target "${targets[@]}"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
status=0
for target in "${targets[@]}"; do
  binary=$(find build-asan/tests -name "$target" -type f -executable | head -n 1)
  echo "sanitize: $target"
  "$binary" --gtest_brief=1 || status=1
done
exit $status
