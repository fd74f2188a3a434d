#!/usr/bin/env bash
# The main job: build Trellan, register the filter module in the embedded
# default registry (or the one $TRELLAN_REGISTRY names), filter the sample
# media files through the filter that the registry names, then index them
# and search the index.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake --preset linux >/dev/null
cmake --build --preset linux --target trellan trellan_module

trellan=./build/linux/bin/trellan
"$trellan" register
"$trellan" dump samples/*.mp3 samples/*.wma samples/*.wmv samples/*.asf

# An index of the samples alone, beside the build (the default index is the
# user's library's).
index=build/linux/samples-index.sqlite
"$trellan" index --db "$index" samples
for query in 'sample' 'title:wma' 'umlaut' 'author:"sample wma author"'; do
  printf '\n$ trellan search %s\n' "$query"
  "$trellan" search --db "$index" "$query"
done
