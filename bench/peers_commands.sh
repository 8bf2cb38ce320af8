#!/usr/bin/env bash
# Times whole vxr commands against the matching ImageMagick commands on the same
# 4096 x 4096 photographs, run by turns, and prints the median wall time of each,
# their ratio, and vxr's peak memory against the pixel bytes it must hold.
# VXR_BUILD_DIR chooses the build (default: build/default); VXR_RUNS the runs (default 5).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${VXR_BUILD_DIR:-build/default}
bash bench/photos.sh
[ -x "$build/cli/vxr" ] || { cmake --preset default >/dev/null && cmake --build --preset default --target vxr >/dev/null; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/cli/vxr" convert bench/data/photo8.bmp "$work/photo8rle.bmp" --format 8rle

/usr/bin/python3 - "$build/cli/vxr" "$work" "${VXR_RUNS:-5}" <<'PYTHON'
import os, statistics, subprocess, sys, time

vxr, work, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
photo24, photo8, photo8rle = "bench/data/photo4k.bmp", "bench/data/photo8.bmp", f"{work}/photo8rle.bmp"
magick = "/usr/bin/convert"
out = f"{work}/out.bmp"

def run(command):
    """Wall seconds and peak resident kilobytes of one run."""
    start = time.perf_counter()
    process = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(process.pid, 0)
    elapsed = time.perf_counter() - start
    if status != 0:
        raise SystemExit(f"failed: {' '.join(command)}")
    return elapsed, usage.ru_maxrss

cases = [
    ("24 -> 8 bit (fast)", [vxr, "convert", photo24, out, "--format", "8"],
     [magick, photo24, "+dither", "-colors", "256", "-type", "Palette", "-compress", "None", f"BMP3:{out}"], 10),
    ("8 bit -> RLE8", [vxr, "convert", photo8, out, "--format", "8rle"],
     [magick, photo8, "-compress", "RLE", f"BMP3:{out}"], 3),
    ("RLE8 -> 8 bit", [vxr, "convert", photo8rle, out, "--format", "8"],
     [magick, photo8rle, "-compress", "None", f"BMP3:{out}"], 3),
]

print(f"{'job':22} {'vxr s':>8} {'convert s':>10} {'speed-up':>9} {'target':>7}")
for name, ours, peer, target in cases:
    run(ours), run(peer)  # warm the page cache and both programs
    mine, theirs, peaks = [], [], []
    for _ in range(runs):
        seconds, peak = run(ours)
        mine.append(seconds)
        peaks.append(peak)
        theirs.append(run(peer)[0])
    ratio = statistics.median(t / m for m, t in zip(mine, theirs))
    print(f"{name:22} {statistics.median(mine):8.3f} {statistics.median(theirs):10.3f} {ratio:8.1f}x {target:6}x")
    if name.startswith("24 -> 8"):
        pixels = 4096 * 4096 * 3 + 4096 * 4096  # input plus output pixel bytes
        peak = max(peaks) * 1024
        print(f"  vxr peak memory {peak / 2**20:.1f} MiB = {peak / pixels:.2f} x the {pixels / 2**20:.0f} MiB of pixels (target <= 1.3)")
PYTHON
