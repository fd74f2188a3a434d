#!/bin/sh
# Builds the libFuzzer targets with the linux-fuzz preset (clang, ASan,
# UBSan) and runs the script fuzzer for a bounded time from the seed corpus.
# Exits non-zero when the build fails or the fuzzer has a finding; the
# input that caused it is left in the build directory as crash-*, leak-*,
# timeout-* or oom-*.
#
#   fuzz/run_fuzz.sh [SECONDS]        (default 45)
#   BUILD_DIR=... fuzz/run_fuzz.sh    (default build/linux-fuzz)
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-45}
build=${BUILD_DIR:-$root/build/linux-fuzz}

cmake --preset linux-fuzz -S "$root" -B "$build" >/dev/null
cmake --build "$build" --target script_fuzzer -j2

fuzzer=$build/bin/script_fuzzer
[ -x "$fuzzer" ] || fuzzer=$build/fuzz/script_fuzzer
if [ ! -x "$fuzzer" ]; then
    echo "run_fuzz.sh: script_fuzzer was not built in $build" >&2
    exit 2
fi

# New inputs go to a scratch corpus; the seeds in the repository stay as
# they are.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

status=0
ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1} \
UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} \
"$fuzzer" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
    -dict="$root/fuzz/script.dict" \
    -artifact_prefix="$build/" \
    -print_final_stats=1 \
    "$work" "$root/fuzz/corpus/script" || status=$?

if [ "$status" -ne 0 ]; then
    echo "run_fuzz.sh: the script fuzzer had a finding (exit $status); see $build/" >&2
fi
exit "$status"
