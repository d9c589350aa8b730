#!/usr/bin/env bash
# Builds everything with warnings as errors and runs every test:
#  1. the native build: unit, end-to-end and fault-injection tests;
#  2. the same tests built with AddressSanitizer and UndefinedBehaviorSanitizer;
#  3. the end-to-end tests against the cross-built Windows quibrel.exe, under wine;
#  4. the libFuzzer target, built with clang and run over its corpus.
# It installs what is missing from Debian's archive first.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/ensure-packages.sh cmake:cmake g++:g++ make:make pkg-config:pkg-config \
    /usr/include/gtest/gtest.h:libgtest-dev \
    /usr/include/fuse3/fuse.h:libfuse3-dev fusermount3:fuse3 \
    clang++:clang /usr/lib/llvm-14/lib/clang/14.0.6/lib/linux/libclang_rt.fuzzer-x86_64.a:libclang-rt-14-dev \
    x86_64-w64-mingw32-g++:g++-mingw-w64-x86-64 wine:wine wine64:wine64
jobs=$(nproc)
step() { printf '\n=== %s\n' "$*"; }

step "Windows cross-build"
cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DCMAKE_BUILD_TYPE=Release -DQUIBREL_TESTS=OFF -DQUIBREL_WERROR=ON >/dev/null
cmake --build build-windows -j "$jobs"
# The first start of wine sets up its prefix; do it before the tests run.
WINEDEBUG=-all wine build-windows/quibrel.exe >/dev/null 2>&1 || true

step "Native build and tests, with the Windows end-to-end tests under wine"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DQUIBREL_TESTS=ON -DQUIBREL_WERROR=ON \
    -DQUIBREL_WINDOWS_EXE="$PWD/build-windows/quibrel.exe" >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build -j "$jobs" --output-on-failure

step "Sanitizer build and tests"
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUIBREL_TESTS=ON \
    -DQUIBREL_WERROR=ON -DQUIBREL_SANITIZE=ON >/dev/null
cmake --build build-sanitize -j "$jobs"
ctest --test-dir build-sanitize -j "$jobs" --output-on-failure

step "Fuzz target (clang, libFuzzer) over its corpus"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUIBREL_FUZZ=ON -DQUIBREL_SANITIZE=ON -DQUIBREL_TESTS=OFF -DQUIBREL_WERROR=ON >/dev/null
cmake --build build-fuzz -j "$jobs" --target scan_fuzz
build-fuzz/tests/fuzz/scan_fuzz -runs=0 tests/fuzz/corpus
