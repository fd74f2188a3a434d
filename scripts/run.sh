#!/usr/bin/env bash
# The main job: build Trellan, register the filter module in the embedded
# default registry (or the one $TRELLAN_REGISTRY names), and filter the
# sample media files through the filter that the registry names.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake --preset linux >/dev/null
cmake --build --preset linux --target trellan trellan_module

trellan=./build/linux/bin/trellan
"$trellan" register
"$trellan" dump samples/*.mp3 samples/*.wma samples/*.wmv samples/*.asf
