#!/usr/bin/env bash
# Builds everything with warnings as errors and runs every test: the native
# build's unit and end-to-end tests, and the end-to-end tests against the
# cross-built Windows quibrel.exe under wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/ensure-packages.sh cmake:cmake g++:g++ make:make \
    /usr/include/gtest/gtest.h:libgtest-dev \
    x86_64-w64-mingw32-g++:g++-mingw-w64-x86-64 wine:wine wine64:wine64
jobs=$(nproc)

cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DCMAKE_BUILD_TYPE=Release -DQUIBREL_TESTS=OFF -DQUIBREL_WERROR=ON >/dev/null
cmake --build build-windows -j "$jobs"
# The first start of wine sets up its prefix; do it before the tests run.
WINEDEBUG=-all wine build-windows/quibrel.exe >/dev/null 2>&1 || true

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DQUIBREL_TESTS=ON -DQUIBREL_WERROR=ON \
    -DQUIBREL_WINDOWS_EXE="$PWD/build-windows/quibrel.exe" >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build -j "$jobs" --output-on-failure
