#!/usr/bin/env bash
# Times our halftones against Pillow in one run on the same 4096 x 4096 photograph:
#   colour: ConvertToHalfTone   vs  quantize(palette=<the 215 halftone colours>, dither=FLOYDSTEINBERG)
#   mono:   ConvertToHalfToneBW vs  convert("1")
# Both sides run in-process, file loading excluded; the figures are medians of CPU
# time. Ours is timed with the pixel memory from a shared mapping (the library's
# default) and from the heap. Ratios above 1 mean we are faster.
# VXR_BUILD_DIR picks the build (default: build/default, as bench/peers.sh builds it).
set -euo pipefail
cd "$(dirname "$0")/.."

photo=bench/data/photo4k.bmp
if [ ! -f "$photo" ]; then
  mkdir -p bench/data
  /usr/bin/convert /usr/share/backgrounds/mate/nature/TwoWings.jpg -resize '4096x4096^' -gravity center \
    -extent 4096x4096 -type TrueColor "BMP3:$photo"
fi

build=${VXR_BUILD_DIR:-build/default}
ours=$(mktemp)
trap 'rm -f "$ours"' EXIT
"$build/bench/HalfToneBench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_format=json >"$ours"

/usr/bin/python3 - "$photo" "$ours" <<'PYTHON'
import json, statistics, sys, time
from PIL import Image

photo, ours_file = sys.argv[1], sys.argv[2]
image = Image.open(photo)
image.load()

# The 215 colours of the halftone palette: the 6 x 7 x 5 cube, then five extras.
levels = ([0, 51, 102, 153, 204, 255], [0, 43, 85, 128, 171, 214, 255], [0, 64, 128, 192, 255])
colours = [(r, g, b) for r in levels[0] for g in levels[1] for b in levels[2]]
colours += [(128, 0, 0), (128, 128, 0), (128, 0, 128), (192, 192, 192), (128, 128, 128)]
palette = Image.new("P", (1, 1))
palette.putpalette([c for colour in colours for c in colour])

def median_ms(work, runs=5):
    times = []
    for _ in range(runs):
        start = time.process_time()
        work()
        times.append(time.process_time() - start)
    return statistics.median(times) * 1000

pillow = {
    "HalfTone": median_ms(lambda: image.quantize(palette=palette, dither=Image.Dither.FLOYDSTEINBERG)),
    "HalfToneBW": median_ms(lambda: image.convert("1")),
}
peer_name = {"HalfTone": "Pillow quantize FLOYDSTEINBERG, 215 colours", "HalfToneBW": 'Pillow convert("1")'}
target = {"HalfTone": 2.0, "HalfToneBW": 1.5}

ours = {}
for b in json.load(open(ours_file))["benchmarks"]:
    if b.get("aggregate_name") == "median":
        ours[b["run_name"]] = b["cpu_time"]  # milliseconds, as the benchmark's unit

print(f"{'routine':34} {'ours ms':>9} {'peer ms':>9} {'ratio':>7} {'target':>7}")
for name in ("HalfTone", "HalfToneBW"):
    for arg, memory in (("1", "shared mapping"), ("0", "heap")):
        mine = ours[f"{name}/photo4k/{arg}"]
        ratio = pillow[name] / mine
        verdict = "ok" if ratio >= target[name] else "MISSED"
        print(f"{name + ' (' + memory + ')':34} {mine:9.1f} {pillow[name]:9.1f} {ratio:7.2f} {target[name]:6.1f}x {verdict}")
    print(f"  peer: {peer_name[name]}")
PYTHON
