#!/usr/bin/env bash
# .reg files between trellan and the platform's own editor, under Wine:
#   - whole hives exported by Wine's regedit and reg.exe, imported by
#     `trellan reg import` and exported again by `trellan reg export`, hold
#     the same keys and values;
#   - the test fixtures (UTF-16LE as the editor writes, and REGEDIT4 with
#     8-bit text and hex(2)/hex(7) data) exported by trellan, imported by
#     Wine's regedit and reg.exe, exported by Wine and read back by trellan,
#     hold the same keys and values as trellan's own import of them.
# Uses the Wine prefix of scripts/test_wine.sh when WINEPREFIX is set, else
# makes one of its own; skips (exit 0) where Wine is not installed.
#
# usage: tests/wine/reg_round_trip.sh [TRELLAN]   (default build/linux/bin/trellan)
set -uo pipefail
root=$(cd "${0%/*}/../.." && pwd)

loader=${WINELOADER:-$(command -v wine || true)}
if [ -z "$loader" ] || ! "$loader" --version >/dev/null 2>&1; then
  echo "SKIP: Wine is not installed or cannot run here"
  exit 0
fi
trellan=${1:-$root/build/linux/bin/trellan}
if [ ! -x "$trellan" ]; then
  (cd "$root" && cmake --preset linux >/dev/null && cmake --build --preset linux -j2 --target trellan) || exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export WINEDEBUG=-all DISPLAY= WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
if [ -z "${WINEPREFIX:-}" ]; then
  export WINEPREFIX=$work/prefix
  timeout 300 "$loader" wineboot -i >/dev/null 2>&1 || { echo "FAIL: wineboot -i"; exit 1; }
fi

failed=0
check() {  # check LABEL EXPECTED ACTUAL
  if python3 "$root/tests/wine/reg_compare.py" "$2" "$3"; then
    echo "PASS: $1"
  else
    echo "FAIL: $1"
    failed=1
  fi
}
wine_run() { timeout 600 "$loader" "$@" </dev/null >/dev/null 2>&1; }
# An import or export tried a second time when Wine's program fails: on a
# loaded machine one failed once in a full run (and never alone); both are
# idempotent, and what they left is compared below.
wine_twice() { wine_run "$@" || wine_run "$@"; }
# Paths for Wine: the Unix root is drive Z:.
winpath() { echo "Z:${1//\//\\}"; }

# Wine's hives through trellan.
wine_run regedit /e "$(winpath "$work/hklm.reg")" 'HKEY_LOCAL_MACHINE\Software' || echo "FAIL: wine regedit /e"
wine_run reg export HKCU "$(winpath "$work/hkcu.reg")" /y || echo "FAIL: wine reg export"
for hive in hklm hkcu; do
  key=$([ $hive = hklm ] && echo 'HKEY_LOCAL_MACHINE\Software' || echo HKEY_CURRENT_USER)
  db=$work/$hive.sqlite
  if "$trellan" --registry "$db" reg import "$work/$hive.reg" &&
     "$trellan" --registry "$db" reg export "$key" "$work/$hive-trellan.reg"; then
    check "Wine's $hive export, imported and exported by trellan" "$work/$hive.reg" "$work/$hive-trellan.reg"
  else
    echo "FAIL: trellan reg import/export of Wine's $hive"
    failed=1
  fi
done

# trellan's files through Wine's regedit and reg.exe.
fixture_key='HKEY_CURRENT_USER\Software\Trellan Fixture'
for fixture in editor_utf16.reg ansi_regedit4.reg; do
  db=$work/$fixture.sqlite
  "$trellan" --registry "$db" reg import "$root/tests/host/regfile/fixtures/$fixture" &&
    "$trellan" --registry "$db" reg export "$fixture_key" "$work/ours.reg" || { echo "FAIL: trellan $fixture"; failed=1; }
  for tool in "regedit /s" "reg import"; do
    source_file=$work/ours.reg
    [ $fixture = ansi_regedit4.reg ] && source_file=$root/tests/host/regfile/fixtures/$fixture
    wine_run reg delete "$fixture_key" /f
    # shellcheck disable=SC2086
    step="wine $tool"
    wine_twice $tool "$(winpath "$source_file")" &&
      step="wine regedit /e" && wine_twice regedit /e "$(winpath "$work/wine.reg")" "$fixture_key" &&
      step="trellan reg import" && "$trellan" --registry "$work/back.sqlite" reg import "$work/wine.reg" &&
      step="trellan reg export" &&
      "$trellan" --registry "$work/back.sqlite" reg export "$fixture_key" "$work/back.reg" ||
      { echo "FAIL: $fixture through wine $tool ($step failed)"; failed=1; continue; }
    check "$fixture through wine $tool and back" "$work/ours.reg" "$work/back.reg"
    rm -f "$work"/back.sqlite*
  done
done
wine_run reg delete "$fixture_key" /f
exit $failed
