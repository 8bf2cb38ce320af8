#!/usr/bin/env bash
# The main job: installs what is missing, builds everything and says what it built.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default

echo
echo "Built in build/default:"
for product in build/default/qvdib/libqvdib.a build/default/editors/libvxr_editors.a build/default/cli/vxr; do
  [ -e "$product" ] && echo "  $product"
done
if [ -x build/default/cli/vxr ]; then
  echo
  build/default/cli/vxr --help
fi
