#!/usr/bin/env bash
# The main job: build Trellan and filter the sample media files through the
# module, on the embedded default registry.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake --preset linux >/dev/null
cmake --build --preset linux --target trellan trellan_module

./build/linux/host/trellan dump samples/*.mp3 samples/*.wma samples/*.wmv samples/*.asf
