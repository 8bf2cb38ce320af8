#!/usr/bin/env bash
# Makes the photographs the benchmarks run on, once, in bench/data (git-ignored),
# from Debian's TwoWings.jpg (package mate-backgrounds, installed here when root):
#   photo4k.bmp  4096 x 4096, 24-bit, cropped to a square
#   photo8.bmp   4096 x 4096, reduced to 256 colours without dithering, 8-bit
set -euo pipefail
cd "$(dirname "$0")"

find_photo() { dpkg -L mate-backgrounds 2>/dev/null | grep '/TwoWings\.jpg$' | head -n 1 || true; }
src=$(find_photo)
if [ -z "$src" ]; then
  if [ "$(id -u)" = 0 ]; then
    apt-get install -y -qq mate-backgrounds >&2
    src=$(find_photo)
  else
    echo "photos.sh: TwoWings.jpg is missing; install it with: sudo apt-get install mate-backgrounds" >&2
    exit 1
  fi
fi
mkdir -p data
make_photo() {
  local out=$1
  shift
  [ -s "data/$out" ] && return 0
  /usr/bin/convert "$src" "$@" "BMP3:data/$out.part"
  mv "data/$out.part" "data/$out"
  echo "photos.sh: wrote bench/data/$out" >&2
}
make_photo photo4k.bmp -resize '4096x4096^' -gravity center -extent 4096x4096 -type TrueColor
make_photo photo8.bmp -resize '4096x4096!' +dither -colors 256 -type Palette -compress None
