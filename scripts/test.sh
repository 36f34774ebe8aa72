#!/usr/bin/env bash
# The one test command: installs what the tests need, builds and runs the C++
# unit tests, installs the package and runs the Python tests.
set -euo pipefail
cd "$(dirname "$0")/.."

# System packages: GoogleTest for the C++ tests, OpenSSL headers for the core,
# qpdf and pdftotext for the Python tests' fixtures and cross-checks.
apt_packages=()
[[ -f /usr/include/gtest/gtest.h ]] || apt_packages+=(libgtest-dev)
[[ -f /usr/include/openssl/evp.h ]] || apt_packages+=(libssl-dev)
command -v qpdf >/dev/null || apt_packages+=(qpdf)
command -v pdftotext >/dev/null || apt_packages+=(poppler-utils)
command -v cmake >/dev/null || apt_packages+=(cmake)
command -v ninja >/dev/null || apt_packages+=(ninja-build)
if ((${#apt_packages[@]})); then
  echo "test.sh: installing ${apt_packages[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${apt_packages[@]}"
fi

python3 -m pip install ".[test]"

cmake -S . -B build/ctest -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DFOLIOSCAN_BUILD_TESTS=ON -DFOLIOSCAN_BUILD_PYTHON=OFF
cmake --build build/ctest -j2
ctest --test-dir build/ctest --output-on-failure

python3 -m pytest -q tests/python
