#!/usr/bin/env bash
# Installs, from Debian's packages, what the build and the tests need and this machine
# lacks: GoogleTest, OpenSSL headers, qpdf, pdftotext, cmake, ninja, plus any extra
# "command:package" or "/path:package" pairs given as arguments (the fuzzers' clang).
#
#   bash scripts/system-deps.sh [NEED:PACKAGE...]
set -euo pipefail

needs=(
  /usr/include/gtest/gtest.h:libgtest-dev
  /usr/include/openssl/evp.h:libssl-dev
  qpdf:qpdf
  pdftotext:poppler-utils
  cmake:cmake
  ninja:ninja-build
  "$@"
)
packages=()
for need in "${needs[@]}"; do
  what="${need%%:*}"
  package="${need#*:}"
  if [[ "$what" == /* ]]; then
    [[ -e "$what" ]] || packages+=("$package")
  else
    command -v "$what" >/dev/null || packages+=("$package")
  fi
done
if ((${#packages[@]})); then
  echo "system-deps.sh: installing ${packages[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${packages[@]}"
fi
