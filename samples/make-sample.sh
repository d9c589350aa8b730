#!/usr/bin/env bash
# Makes samples/disc.img: a small disc-like image holding two MPEG program
# streams on 2048-byte sector boundaries among random filler sectors.
#
# Run once; the result is committed, so building and testing need no ffmpeg.
# Needs ffmpeg (apt-get install ffmpeg) and python3.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

make_stream() {  # make_stream SOURCE OUTPUT
    ffmpeg -loglevel error -y -f lavfi -i "$1" \
        -f lavfi -i sine=frequency=440:sample_rate=48000 -t 1 \
        -c:v mpeg2video -b:v 200k -c:a mp2 -b:a 64k -f vob "$2"
}
make_stream testsrc=size=96x64:rate=10 "$work/one.vob"
make_stream smptebars=size=96x64:rate=10 "$work/two.vob"

python3 - "$work/one.vob" "$work/two.vob" "$here/disc.img" <<'PY'
import random, sys
SECTOR = 2048
START, END = b"\x00\x00\x01\xba", b"\x00\x00\x01\xb9"
rng = random.Random(2048)

def filler(sectors):
    while True:
        data = rng.randbytes(sectors * SECTOR)
        if all(data[i:i + 4] not in (START, END) for i in range(0, len(data), 4)):
            return data

def pad(image):
    return image + filler(1)[: (-len(image)) % SECTOR]

image = filler(4)
streams = []
for path in sys.argv[1:3]:
    # The muxer leaves the program end code out; a disc's stream carries it.
    stream = open(path, "rb").read() + END
    assert stream.startswith(START) and len(stream) % 4 == 0
    streams.append((len(image), len(image) + len(stream)))
    image = pad(image + stream) + filler(2)
open(sys.argv[3], "wb").write(image)
for start, end in streams:
    print(f"stream at {start}, ends at {end}, size {end - start}")
print(f"{len(image)} bytes")
PY
