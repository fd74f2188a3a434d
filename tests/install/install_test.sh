#!/usr/bin/env bash
# cmake --install into a fresh prefix, then the installed program as a new
# user meets it: no registry yet, the tree moved, a registry of the user's
# own, a home that cannot be written; the run paths, the manual page.
# usage: install_test.sh BUILD_DIR SAMPLES_DIR
set -euo pipefail
build=$1 samples=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
# Runs the program; its standard error in $work/err, the exit code in $code.
run() { code=0; "$@" >"$work/out" 2>"$work/err" || code=$?; }

cmake --install "$build" --prefix "$work/prefix" >/dev/null
prefix=$work/prefix
for file in bin/trellan lib/trellan/trellan.so lib/trellan/libtrellan-platform.so \
            lib/trellan/libtrellan-wmvcore.so share/man/man1/trellan.1 share/bash-completion/completions/trellan \
            share/zsh/vendor-completions/_trellan share/fish/vendor_completions.d/trellan.fish; do
  [ -f "$prefix/$file" ] || fail "cmake --install put no $file"
done
# An index run is handed to the program built with jemalloc, where it is.
[ ! -e "$build/bin/trellan-index" ] || [ -x "$prefix/lib/trellan/trellan-index" ] ||
  fail "cmake --install put no lib/trellan/trellan-index"
for elf in "$prefix"/bin/trellan "$prefix"/lib/trellan/*.so "$prefix"/lib/trellan/trellan-*; do
  runpath=$(readelf -d "$elf" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
  # No empty entry: the loader reads one as the working folder.
  [[ $runpath == '$ORIGIN'* && ":$runpath:" != *::* ]] || fail "$elf has the run path '$runpath'"
done

export HOME=$work/home XDG_DATA_HOME=$work/data
unset TRELLAN_REGISTRY
mkdir -p "$HOME"
registered="registered the filter $prefix/lib/trellan/trellan.so in $XDG_DATA_HOME/trellan/registry.sqlite"
run "$prefix/bin/trellan" dump -q "$samples"
[ $code -eq 0 ] && grep -q 'Sample v1 Title' "$work/out" || fail "the first dump: $code $(cat "$work/err")"
[ "$(grep -c "$registered" "$work/err")" -eq 1 ] || fail "the first dump says: $(cat "$work/err")"
run "$prefix/bin/trellan" dump -q "$samples/sample.mp3"
[ $code -eq 0 ] && [ ! -s "$work/err" ] || fail "the second dump says: $(cat "$work/err")"

mv "$prefix" "$work/moved"
run "$work/moved/bin/trellan" index --db "$work/index.sqlite" -q "$samples"
grep -q "registered the filter $work/moved/lib/trellan/trellan.so .*$prefix/lib/trellan/trellan.so is gone" \
  "$work/err" || fail "after the move: $(cat "$work/err")"
run "$work/moved/bin/trellan" search --db "$work/index.sqlite" 'title:"sample v1"'
grep -q "$samples/sample-v1.mp3" "$work/out" || fail "search after the move: $(cat "$work/out" "$work/err")"

# The index run goes on in trellan-index, the same process; without that
# program, in trellan.
if [ -e "$work/moved/lib/trellan/trellan-index" ]; then
  "$work/moved/bin/trellan" index --watch --db "$work/index.sqlite" -q "$samples" 2>"$work/err" &
  watcher=$!
  for _ in $(seq 50); do
    [[ $(readlink "/proc/$watcher/exe") == */trellan-index ]] && break
    sleep 0.1
  done
  ran=$(readlink "/proc/$watcher/exe")
  kill -TERM "$watcher"
  code=0 && wait "$watcher" || code=$?
  [[ $ran == "$work/moved/lib/trellan/trellan-index" && $code -eq 143 ]] ||
    fail "the watch ran in '$ran' and ended with $code: $(cat "$work/err")"
  rm "$work/moved/lib/trellan/trellan-index"
  run "$work/moved/bin/trellan" index --db "$work/index.sqlite" "$samples"
  [ $code -eq 0 ] && grep -q "unchanged" "$work/out" "$work/err" ||
    fail "index without trellan-index: $code $(cat "$work/out" "$work/err")"
fi

# A registry the user names is not changed; the hint names the command.
run "$work/moved/bin/trellan" dump "$samples/sample.mp3" --registry "$work/named.sqlite"
[ $code -eq 1 ] && grep -q "'trellan --registry $work/named.sqlite register'" "$work/err" ||
  fail "with a named registry: $code $(cat "$work/err")"
run "$work/moved/bin/trellan" reg export --registry "$work/named.sqlite"
! grep -qi 'persistenthandler' "$work/out" || fail "the named registry was changed"

# A home that cannot be written: a registry in memory, and the work done.
XDG_DATA_HOME=/dev/null/data run "$work/moved/bin/trellan" dump -q "$samples/sample.wma"
[ $code -eq 0 ] && grep -q "cannot keep the registry at /dev/null/data/trellan/registry.sqlite" "$work/err" ||
  fail "with a home that cannot be written: $code $(cat "$work/err")"

warnings=$(MANWIDTH=80 man --warnings -l "$work/moved/share/man/man1/trellan.1" 2>&1 >"$work/out")
[ -z "$warnings" ] || fail "man -l warns: $warnings"
for section in SYNOPSIS COMMANDS 'EXIT STATUS' ENVIRONMENT FILES EXAMPLES; do
  grep -q "^$section" "$work/out" || fail "the manual page has no $section"
done
echo "install test: passed"
