#!/usr/bin/env python3
"""quibrel's benchmark: scan and extraction speed against the machine's own
limits (cat), measured side by side in one run.

    python3 bench/run.py [--runs 5] [--work /tmp/quibrel-bench] [--no-literal]

It builds quibrel and the baseline in build-bench/, generates the images in the
work directory (random filler in 2048-byte sectors, streams made from the
bundled sample's streams), warms the page cache, runs every command of a
workload in turn, --runs times, and prints medians, ratios and peak resident
memory. Nothing here runs in CI.
"""
import argparse
import os
import random
import shutil
import statistics
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SECTOR = 2048
START, END = b"\x00\x00\x01\xba", b"\x00\x00\x01\xb9"
MiB = 1 << 20
GiB = 1 << 30


def build(build_dir):
    subprocess.run(["bash", os.path.join(ROOT, "scripts", "ensure-packages.sh"),
                    "/usr/bin/time:time", "cmake:cmake", "g++:g++"], check=True)
    subprocess.run(["cmake", "-S", ROOT, "-B", build_dir, "-DCMAKE_BUILD_TYPE=Release",
                    "-DQUIBREL_TESTS=OFF", "-DQUIBREL_BENCH=ON"], check=True,
                   stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build_dir, "-j", str(os.cpu_count() or 2)], check=True,
                   stdout=subprocess.DEVNULL)
    return os.path.join(build_dir, "quibrel"), os.path.join(build_dir, "bench", "literal_scan")


def sample_streams():
    """The program streams of the bundled sample, each without its end code."""
    data = open(os.path.join(ROOT, "samples", "disc.img"), "rb").read()
    streams, at = [], 0
    while True:
        s = data.find(START, at)
        while s != -1 and s % 4:
            s = data.find(START, s + 1)
        if s == -1:
            return streams
        e = data.find(END, s)
        while e % 4:
            e = data.find(END, e + 1)
        streams.append(data[s:e])
        at = e + 4


def long_stream(packs, size):
    """A program stream of about `size` bytes: the sample's packs repeated."""
    body = packs * max(1, size // len(packs))
    return body + END


def clean_filler(rng, length):
    """Random bytes in which no group holds either code."""
    data = bytearray(rng.randbytes(length))
    for code in (START, END):
        at = data.find(code)
        while at != -1:
            if at % 4 == 0:
                data[at] = 0xFF
            at = data.find(code, at + 1)
    return data


def write_image(path, length, streams_at, rng):
    """Writes `length` bytes of filler with the given streams at their offsets."""
    with open(path, "wb") as f:
        pos = 0
        for offset, stream in streams_at + [(length, b"")]:
            while pos < offset:
                n = min(64 * MiB, offset - pos)
                f.write(clean_filler(rng, n))
                pos += n
            f.write(stream)
            pos += len(stream)


def make_images(work, sizes):
    rng = random.Random(7)
    packs = sample_streams()
    images = {}
    scan = os.path.join(work, "scan.img")
    if not os.path.exists(scan):
        streams = [(k * sizes["scan"] // 5 // SECTOR * SECTOR, long_stream(packs[k % 2], 2 * MiB))
                   for k in range(1, 5)]
        write_image(scan, sizes["scan"], streams, rng)
    images["scan"] = scan

    extract = os.path.join(work, "extract.img")
    if not os.path.exists(extract):
        streams, at = [], 0
        while at < sizes["extract"] - 9 * MiB:
            s = long_stream(packs[len(streams) % 2], 8 * MiB)
            streams.append((at, s))
            at += (len(s) + SECTOR - 1) // SECTOR * SECTOR
        write_image(extract, sizes["extract"], streams, rng)
    images["extract"] = extract

    # Sparse reads are slow on disk file systems; tmpfs serves holes fast.
    shm = "/dev/shm" if os.path.isdir("/dev/shm") else work
    sparse = os.path.join(shm, "quibrel-bench-sparse.img")
    if not os.path.exists(sparse):
        with open(sparse, "wb") as f:
            f.truncate(5 * GiB)
            for offset in (3 * GiB, 4 * GiB + 4096):
                f.seek(offset)
                f.write(long_stream(packs[0], 2 * MiB))
    images["sparse"] = sparse
    return images


def run_once(command, cwd):
    """Wall seconds and peak resident KiB of one run. /usr/bin/time reports the
    peak of a process it started itself, free of this script's own memory."""
    report = os.path.join(cwd, "..", "time.txt")
    # Write back what earlier runs left dirty, so no run pays for another.
    os.sync()
    start = time.perf_counter()
    proc = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", report, "sh", "-c", command],
                          cwd=cwd, stdout=subprocess.DEVNULL)
    wall = time.perf_counter() - start
    if proc.returncode != 0:
        sys.exit(f"failed: {command}")
    return wall, int(open(report).read().split()[-1])


def compare(title, commands, cwd, runs):
    """Runs the commands in turn, `runs` rounds after one warm-up round."""
    print(f"\n== {title}")
    times = {name: [] for name, _ in commands}
    peak = {name: 0 for name, _ in commands}
    dirs = {}
    for k, (name, _) in enumerate(commands):
        dirs[name] = os.path.join(cwd, str(k))
        os.makedirs(dirs[name], exist_ok=True)
    for round_ in range(runs + 1):
        for name, command in commands:
            wall, rss = run_once(command, dirs[name])
            if round_ > 0:
                times[name].append(wall)
                peak[name] = max(peak[name], rss)
    base = statistics.median(times[commands[0][0]])
    for name, _ in commands:
        med = statistics.median(times[name])
        print(f"  {name:<34} median {med:8.3f} s  (min {min(times[name]):.3f}, "
              f"max {max(times[name]):.3f})  peak RSS {peak[name] / 1024:6.1f} MiB")
    for name, _ in commands[1:]:
        other = statistics.median(times[name])
        print(f"  quibrel takes {base / other:6.3f} times as long as {name}"
              f" ({other / base:.1f} times as fast)")
    for name in dirs:
        shutil.rmtree(dirs[name])
    return times, peak


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--work", default="/tmp/quibrel-bench")
    ap.add_argument("--scan-mib", type=int, default=1024)
    ap.add_argument("--extract-mib", type=int, default=512)
    ap.add_argument("--no-literal", action="store_true", help="skip the slow baseline")
    args = ap.parse_args()

    os.makedirs(args.work, exist_ok=True)
    quibrel, literal = build(os.path.join(ROOT, "build-bench"))
    images = make_images(args.work, {"scan": args.scan_mib * MiB, "extract": args.extract_mib * MiB})
    out = os.path.join(args.work, "out")
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    for name in ("scan", "extract"):
        subprocess.run(["cat", images[name]], stdout=subprocess.DEVNULL, check=True)

    print(f"quibrel benchmark, {time.strftime('%Y-%m-%d')}, {os.cpu_count()} cores, "
          f"{os.uname().sysname} {os.uname().release}, images in {args.work}")
    for name, limit in (("scan", "cat IMAGE > /dev/null"), ("extract", "cat IMAGE > copy")):
        image = images[name]
        cmds = [("quibrel", f"{quibrel} {image}")]
        if name == "scan":
            cmds.append((limit, f"cat {image} > /dev/null"))
        else:
            cmds.append((limit, f"cat {image} > copy"))
        if not args.no_literal:
            cmds.append(("4-byte reads (literal design)", f"{literal} {image}"))
        size = os.path.getsize(image) // MiB
        compare(f"{name}: {size} MiB image", cmds, out, args.runs)

    sparse_out = os.path.join(out, "sparse")
    os.makedirs(sparse_out)
    wall, rss = run_once(f"{quibrel} {images['sparse']}", sparse_out)
    print(f"\n== 5 GiB sparse image: {wall:.3f} s, peak RSS {rss / 1024:.1f} MiB")
    shutil.rmtree(out)


if __name__ == "__main__":
    main()
