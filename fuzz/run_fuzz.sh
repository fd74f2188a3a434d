#!/bin/sh
# Builds the libFuzzer targets with the linux-fuzz preset (clang, ASan,
# UBSan) and runs each target of the table below from its seed corpus, one
# after the other. Exits non-zero when the build fails or any target has a
# finding; the input that caused it is left in the build directory as
# <target>-crash-*, -leak-*, -timeout-* or -oom-*.
#
#   fuzz/run_fuzz.sh [SECONDS] [TARGET...]   SECONDS per target (default 12);
#                                            every target when none is named
#   FUZZ_RUNS=N fuzz/run_fuzz.sh ...         N executions per target instead
#                                            of a time
#   BUILD_DIR=... fuzz/run_fuzz.sh           (default build/linux-fuzz)
#
# Adding a target: fuzz/<name>_fuzzer.cpp, one trellan_fuzzer() line in
# fuzz/CMakeLists.txt, one row here, and seeds in fuzz/corpus/<name>/.
set -eu

# name       dictionary (fuzz/<name>.dict, or -)   longest input in bytes
table='
script       script.dict                            8192
expansion    expansion.dict                         4096
typelib      -                                      16384
resources    resources.dict                         16384
editor       editor.dict                            8192
filter       editor.dict                            8192
chunks       -                                      2048
reg_text     reg_text.dict                          8192
query        query.dict                             4096
'

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-12}
[ $# -gt 0 ] && shift
build=${BUILD_DIR:-$root/build/linux-fuzz}

# The targets to run: those named, or every row.
rows=$(printf '%s\n' "$table" | awk 'NF == 3')
if [ $# -gt 0 ]; then
    selected=
    for name in "$@"; do
        row=$(printf '%s\n' "$rows" | awk -v n="$name" '$1 == n')
        if [ -z "$row" ]; then
            echo "run_fuzz.sh: no target named $name" >&2
            exit 2
        fi
        selected="$selected$row
"
    done
    rows=$selected
fi

# Optimised a little (-O1, assertions kept), as fuzzers usually are: a -O0
# build runs a fraction of the executions in the same time.
cmake --preset linux-fuzz -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" >/dev/null
cmake --build "$build" -j2 --target $(printf '%s\n' "$rows" | awk 'NF == 3 { printf "%s_fuzzer ", $1 }')

# New inputs go to a scratch corpus; the seeds in the repository stay as
# they are.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

if [ -n "${FUZZ_RUNS:-}" ]; then
    limit="-runs=$FUZZ_RUNS"
else
    limit="-max_total_time=$seconds"
fi

failed=
printf '%s\n' "$rows" | awk 'NF == 3' > "$work/rows"
while read -r name dictionary length; do
    fuzzer=$build/bin/${name}_fuzzer
    [ -x "$fuzzer" ] || fuzzer=$build/fuzz/${name}_fuzzer
    if [ ! -x "$fuzzer" ]; then
        echo "run_fuzz.sh: ${name}_fuzzer was not built in $build" >&2
        exit 2
    fi
    dictionary_option=
    [ "$dictionary" = - ] || dictionary_option="-dict=$root/fuzz/$dictionary"
    mkdir -p "$work/$name"

    echo "=== $name"
    status=0
    ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1} \
    UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} \
    "$fuzzer" \
        "$limit" -timeout=10 -rss_limit_mb=2048 -max_len="$length" $dictionary_option \
        -artifact_prefix="$build/$name-" \
        -print_final_stats=1 \
        "$work/$name" "$root/fuzz/corpus/$name" </dev/null || status=$?
    if [ "$status" -ne 0 ]; then
        echo "run_fuzz.sh: the $name fuzzer had a finding (exit $status); see $build/$name-*" >&2
        failed="$failed $name"
    fi
done < "$work/rows"

if [ -n "$failed" ]; then
    echo "run_fuzz.sh: findings in:$failed" >&2
    exit 1
fi
