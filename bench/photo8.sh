#!/usr/bin/env bash
# Makes bench/data/photo8.bmp, the photographic picture of the RLE benchmarks:
# Debian's TwoWings.jpg (package mate-backgrounds) scaled to 4096 x 4096 and
# reduced to 256 colours without dithering, as an uncompressed 8-bit BMP.
set -euo pipefail
cd "$(dirname "$0")"
out=data/photo8.bmp
[ -s "$out" ] && exit 0

find_photo() { dpkg -L mate-backgrounds 2>/dev/null | grep '/TwoWings\.jpg$' | head -n 1 || true; }
src=$(find_photo)
if [ -z "$src" ]; then
  if [ "$(id -u)" = 0 ]; then
    apt-get install -y mate-backgrounds >&2
    src=$(find_photo)
  else
    echo "photo8.sh: TwoWings.jpg is missing; install it with: sudo apt-get install mate-backgrounds" >&2
    exit 1
  fi
fi
mkdir -p data
/usr/bin/convert "$src" -resize '4096x4096!' +dither -colors 256 -type Palette -compress None "BMP3:$out.part"
mv "$out.part" "$out"
echo "photo8.sh: wrote bench/$out" >&2
