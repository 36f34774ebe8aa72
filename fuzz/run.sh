#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs each for a bounded
# time; any crash, sanitizer report, timeout or memory blow-up fails the run.
#
#   bash fuzz/run.sh [SECONDS_PER_TARGET] [TARGET...]     (default 60 s, all targets)
#
# The corpus grows in fuzz/out/corpus/<target> (git-ignored) and is reused by the next
# run; seeds are regenerated from the test documents each time. A failing input is
# left in fuzz/out/artifacts/<target>/; once fixed, keep it as a regression case in
# fuzz/regressions/<target>/ (replayed by tests/core/fuzz_regressions_test.cpp).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
shift || true
targets=("$@")
((${#targets[@]})) || targets=(parse_document recover_document decode_stream tounicode rebuild truetype cff type1 cmap)

# clang 14 (Debian's default) cannot compile libstdc++ 12's <expected>: it reports
# __cpp_concepts 201907, below what the header requires. clang 19 from the same
# release compiles it; its libFuzzer runtime is libclang-rt-19-dev.
CLANGXX=clang++-19
bash scripts/system-deps.sh "$CLANGXX:clang-19" \
  /usr/lib/llvm-19/lib/clang/19/lib/linux/libclang_rt.fuzzer-x86_64.a:libclang-rt-19-dev

cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER="$CLANGXX" -DFOLIOSCAN_BUILD_FUZZERS=ON \
  -DFOLIOSCAN_BUILD_PYTHON=OFF -DFOLIOSCAN_BUILD_TESTS=OFF >/dev/null
cmake --build build/fuzz -j2

python3 fuzz/make_seeds.py fuzz/out/seeds

export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:allocator_may_return_null=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"

# One target: its time, corpus and artifacts. The targets run side by side.
run_target() {
  local target="$1"
  local corpus="fuzz/out/corpus/$target"
  local artifacts="fuzz/out/artifacts/$target"
  mkdir -p "$corpus" "$artifacts"
  # -timeout: one input may take 10 s even under the sanitizers (the product's own
  # bound is 5 s unsanitized). -rss_limit_mb / -malloc_limit_mb: the per-stream
  # decoded-output bound is 1 GiB; anything well past it is a finding.
  "build/fuzz/${target}_fuzzer" -max_total_time="$seconds" -timeout=10 \
    -rss_limit_mb=3072 -malloc_limit_mb=1536 -max_len=65536 -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "$corpus" "fuzz/out/seeds/$target" \
    > "fuzz/out/$target.log" 2>&1
}

declare -A pids
for target in "${targets[@]}"; do
  echo "== $target: ${seconds}s"
  run_target "$target" &
  pids[$target]=$!
done
status=0
for target in "${targets[@]}"; do
  if wait "${pids[$target]}"; then
    echo "-- $target: no finding"
    grep -E "^stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb)" \
      "fuzz/out/$target.log" || true
  else
    echo "FINDING in $target: see fuzz/out/$target.log and fuzz/out/artifacts/$target/"
    tail -n 60 "fuzz/out/$target.log"
    status=1
  fi
done
exit "$status"
