#!/usr/bin/env bash
# Times our true-colour reductions (Google Benchmark, in-process) and Pillow's
# quantizers (in-process, file loading excluded, no dithering) on the same
# 4096 x 4096 photograph in one run, and prints time ratios and PSNR.
# VXR_BUILD_DIR chooses the build (default: build/default).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${VXR_BUILD_DIR:-build/default}
photo=bench/data/photo4k.bmp
bash bench/photos.sh
if [ ! -x "$build/bench/ReduceBench" ]; then
  cmake --preset default >/dev/null
  cmake --build --preset default --target ReduceBench >/dev/null
fi

ours=$(mktemp)
log=$(mktemp)
trap 'rm -f "$ours" "$log"' EXIT
if ! "$build/bench/ReduceBench" --benchmark_repetitions=3 --benchmark_report_aggregates_only=true \
  --benchmark_out="$ours" --benchmark_out_format=json >"$log" 2>&1; then
  cat "$log"
  exit 1
fi

/usr/bin/python3 - "$photo" "$ours" <<'PYTHON'
import json, math, statistics, sys, time
from PIL import Image, ImageChops, ImageStat

photo, ours_json = sys.argv[1], sys.argv[2]
ours = {}
for b in json.load(open(ours_json))["benchmarks"]:
    if b.get("aggregate_name") == "median":
        ours[b["run_name"].split("/")[1]] = (b["real_time"], b["PSNR_dB"])

image = Image.open(photo)
image.load()
image = image.convert("RGB")

def psnr(reduced):
    squares = ImageStat.Stat(ImageChops.difference(image, reduced.convert("RGB"))).sum2
    mse = sum(squares) / (3 * image.width * image.height)
    return 10 * math.log10(255 * 255 / mse)

def pillow(colors, method, runs=3):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        result = image.quantize(colors, method=method, dither=Image.Dither.NONE)
        times.append((time.perf_counter() - start) * 1000)
    return statistics.median(times), psnr(result)

cases = [
    ("24->8 fast vs FASTOCTREE 256", "Fast8", 256, Image.Quantize.FASTOCTREE, 1 / 3),
    ("24->4 fast vs FASTOCTREE 16", "Fast4", 16, Image.Quantize.FASTOCTREE, 1 / 3),
    ("24->8 high vs MEDIANCUT 256", "High8", 256, Image.Quantize.MEDIANCUT, 1.0),
    ("24->4 high vs MEDIANCUT 16", "High4", 16, Image.Quantize.MEDIANCUT, None),
]
print(f"{'case':32} {'ours ms':>9} {'Pillow ms':>10} {'ratio':>7} {'target':>8}  {'PSNR ours':>9} {'Pillow':>7}")
failed = False
for label, name, colors, method, target in cases:
    our_ms, our_psnr = ours[name]
    peer_ms, peer_psnr = pillow(colors, method)
    ratio = our_ms / peer_ms
    verdict = "-" if target is None else ("<= %.2f" % target)
    mark = "" if target is None or ratio <= target else "  MISSED"
    failed |= bool(mark)
    print(f"{label:32} {our_ms:9.1f} {peer_ms:10.1f} {ratio:7.3f} {verdict:>8}  {our_psnr:9.2f} {peer_psnr:7.2f}{mark}")
print("ratio = our time / Pillow's time, medians of 3 runs each")
sys.exit(1 if failed else 0)
PYTHON
