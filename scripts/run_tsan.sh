#!/bin/sh
# Builds the module, the server tests and the host tests (the index's among them) with
# ThreadSanitizer (the linux-tsan preset) and runs the concurrency tests and
# the index runs; any report fails the run.
# Usage: scripts/run_tsan.sh [BUILD_DIR]   (default: the preset's build/linux-tsan)
set -eu

source_dir=$(cd "$(dirname "$0")/.." && pwd)
cd "$source_dir"

if [ $# -gt 0 ]; then
    cmake --preset linux-tsan -B "$1"
    build_dir=$1
else
    cmake --preset linux-tsan
    build_dir=build/linux-tsan
fi
cmake --build "$build_dir" -j2 --target trellan_platform trellan_module server_tests host_tests

TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}" \
    ctest --test-dir "$build_dir" --output-on-failure -R '^(Concurrency|Backends/IndexCommand)\.'
