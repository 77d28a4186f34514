#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz/ and runs each for a bounded
# time (FUZZ_SECONDS, default 60). Skipped when clang or its fuzzer runtime is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${FUZZ_SECONDS:-60}"
if ! command -v clang++ >/dev/null; then
  echo "fuzz: clang++ not found, fuzz targets skipped"
  exit 0
fi
probe=$(mktemp -d)
echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long){return 0;}' >"$probe/p.cpp"
if ! clang++ -fsanitize=fuzzer "$probe/p.cpp" -o "$probe/p" 2>/dev/null; then
  echo "fuzz: clang has no libFuzzer runtime, fuzz targets skipped"
  rm -rf "$probe"
  exit 0
fi
rm -rf "$probe"
targets=(db_file_fuzz remote_command_fuzz)
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DGQ_FUZZ=ON -DGQ_BUILD_BENCH=OFF >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target "${targets[@]}"
for target in "${targets[@]}"; do
  binary=$(find build-fuzz -name "$target" -type f -executable | head -n 1)
  corpus="build-fuzz/corpus/$target"
  mkdir -p "$corpus"
  echo "fuzz: running $target for ${seconds}s"
  "$binary" "$corpus" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1 2>&1 | tail -n 12
done
