#!/usr/bin/env bash
# Builds everything with warnings as errors and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/ensure-packages.sh cmake:cmake g++:g++ make:make \
    /usr/include/gtest/gtest.h:libgtest-dev
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DQUIBREL_TESTS=ON -DQUIBREL_WERROR=ON >/dev/null
cmake --build build -j "$(nproc)"
ctest --test-dir build -j "$(nproc)" --output-on-failure
