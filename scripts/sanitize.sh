#!/usr/bin/env bash
# The whole test suite under AddressSanitizer and UndefinedBehaviorSanitizer (g++):
# the GoogleTest binary, then the Python tests and every file of the shared corpus
# against an instrumented extension module. Any sanitizer report fails the run.
#
#   bash scripts/sanitize.sh
#
# The extension is built in build/asan beside the C++ tests and imported from there
# (build/asan/pkg on PYTHONPATH) with libasan preloaded into the interpreter, so the
# installed package is neither used nor changed. The hostile-file suite is left out:
# it limits address space, which the sanitizers' shadow memory cannot live with; it
# runs against the normal build in scripts/test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/system-deps.sh
# The Python tests' own dependencies (pytest, hypothesis, pikepdf, reportlab).
python3 -c "import pytest, hypothesis, pikepdf, reportlab" 2>/dev/null ||
  python3 -m pip install "pytest>=7" "hypothesis>=6" "pikepdf>=8" "reportlab>=4"

# -O1: a third of the -O2 compile time, and still fast enough for the corpus.
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=None -DCMAKE_CXX_FLAGS="-O1 -g" \
  -DFOLIOSCAN_SANITIZE=ON -DFOLIOSCAN_BUILD_TESTS=ON -DFOLIOSCAN_BUILD_PYTHON=ON >/dev/null
cmake --build build/asan -j2

export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1:strict_string_checks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
ctest --test-dir build/asan -j2 --output-on-failure

# The package from the source tree plus the instrumented module.
pkg=build/asan/pkg
rm -rf "$pkg"
mkdir -p "$pkg"
cp -r python/folioscan "$pkg/"
cp build/asan/_folioscan*.so "$pkg/folioscan/"

corpus="${FOLIOSCAN_CORPUS:-}"
if [[ -z "$corpus" ]]; then
  for candidate in ../shared/corpus /work/shared/corpus; do
    if [[ -f "$candidate/index.tsv" ]]; then corpus="$(cd "$candidate" && pwd)"; break; fi
  done
fi
if [[ -z "$corpus" ]]; then
  echo "sanitize.sh: no shared corpus found (set FOLIOSCAN_CORPUS); its cases will be skipped"
fi

# CPython frees little at exit, so leak reports from the interpreter mean nothing.
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=0"
export LD_PRELOAD="$(g++ -print-file-name=libasan.so)"
export PYTHONPATH="$PWD/$pkg"
export FOLIOSCAN_CORPUS="$corpus"
python3 -c "import folioscan._folioscan as m, sys; sys.exit(not m.__file__.startswith('$PWD/$pkg/'))" || {
  echo "sanitize.sh: the instrumented module is not the one imported" >&2
  exit 1
}
python3 -m pytest -q tests/python --ignore=tests/python/test_hostile.py
