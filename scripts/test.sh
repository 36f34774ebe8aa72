#!/usr/bin/env bash
# The one test command: installs what the tests need, builds and runs the C++
# unit tests, installs the package and runs the Python tests.
set -euo pipefail
cd "$(dirname "$0")/.."

# System packages: GoogleTest for the C++ tests, OpenSSL headers for the core,
# qpdf and pdftotext for the Python tests' fixtures and cross-checks.
bash scripts/system-deps.sh

python3 -m pip install ".[test]"

cmake -S . -B build/ctest -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DFOLIOSCAN_BUILD_TESTS=ON -DFOLIOSCAN_BUILD_PYTHON=OFF
cmake --build build/ctest -j2
ctest --test-dir build/ctest --output-on-failure

python3 -m pytest -q tests/python
