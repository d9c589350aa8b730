#!/usr/bin/env bash
# Builds quibrel and runs it on the bundled sample image, in out/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/ensure-packages.sh cmake:cmake g++:g++ make:make
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DQUIBREL_TESTS=OFF >/dev/null
cmake --build build --target quibrel -j "$(nproc)" >/dev/null
rm -rf out && mkdir out && cp samples/disc.img out/
cd out
../build/quibrel disc.img
echo "== out/disc.img.pos"
cat disc.img.pos
echo "== extracted files in out/"
ls -l ./*.pss
