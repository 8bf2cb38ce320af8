#!/usr/bin/env bash
# RLE8 decoding against Pillow in the same run: RleBench decodes the photograph
# and the flat picture (and writes their RLE8 streams to bench/data/*_rle8.bmp),
# then Pillow decodes those very files in-process (Image.open(p).load() in a
# timing loop under Debian's /usr/bin/python3), and the ratio is printed.
set -euo pipefail
cd "$(dirname "$0")/.."
bench=${VXR_BENCH_DIR:-build/default/bench}/RleBench
if [ ! -x "$bench" ]; then
  cmake --preset default >/dev/null
  cmake --build --preset default --target RleBench >/dev/null
fi
bash bench/photos.sh

json=$(mktemp)
trap 'rm -f "$json"' EXIT
"$bench" --benchmark_filter='BM_Rle8Decode' --benchmark_min_time=1 --benchmark_format=json >"$json"

/usr/bin/python3 - "$json" <<'PY'
import json, sys, time
from PIL import Image

ours = {b["name"]: b for b in json.load(open(sys.argv[1]))["benchmarks"]}

def pillow_seconds(path, min_total=3.0, min_runs=3):
    """Best time of Image.open(path).load() over at least min_runs runs and min_total seconds."""
    best, total, runs = float("inf"), 0.0, 0
    while runs < min_runs or total < min_total:
        start = time.perf_counter()
        with Image.open(path) as im:
            assert im.info.get("compression") == 1, "not an RLE8 file"
            im.load()
        took = time.perf_counter() - start
        best, total, runs = min(best, took), total + took, runs + 1
    return best

for label, path in (("photo", "bench/data/photo8_rle8.bmp"), ("flat", "bench/data/flat8_rle8.bmp")):
    peer = pillow_seconds(path)
    line = f"RLE8 decode {label:5s} 4096x4096: Pillow {peer * 1e3:8.1f} ms"
    for fmo in (1, 0):
        b = ours[f"BM_Rle8Decode{label.capitalize()}/fmo:{fmo}/real_time"]
        mine = b["real_time"] / 1e3  # milliseconds
        line += f" | ours fmo:{fmo} {mine * 1e3:6.1f} ms, {peer / mine:6.1f}x faster"
    print(line)
PY
