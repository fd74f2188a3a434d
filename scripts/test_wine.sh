#!/usr/bin/env bash
# The real Windows DLLs under Wine. Cross-builds trellan.dll, trellan.exe,
# the Windows test program and the wmvcore.dll test double for 64-bit
# Windows and, where the machine can run 32-bit programs, for 32-bit
# Windows (the mingw64 and mingw32 presets); makes one fresh 64-bit Wine
# prefix inside the build folder; and runs the whole suite on each DLL with
# the Wine tools of its own bitness:
#   - regsvr32 registers the DLL, checked through reg.exe against
#     tests/registration/expected_registration.txt (planted stale keys,
#     registering twice, unregistering, a path with a quote), with the type
#     library filed under "win64" or "win32";
#   - `trellan.exe dump` on media file names found through the registry,
#     with the wmvcore double serving scripted header attributes, and on a
#     real file over Wine's own wmvcore.dll, which cannot read media;
#   - the Windows test program twice: the DLL loaded with LoadLibrary, and
#     created by the COM runtime through its registration.
# Where both run, both DLLs are then registered side by side in the prefix
# and each is used through CoCreateInstance (tests/wine/side_by_side_check.py).
# Prints a closing 'wine: N passed, N failed' line over both DLLs; exits
# non-zero on any failure.
#
# usage: scripts/test_wine.sh
#
# A kernel without IA-32 emulation cannot start Wine's 32-bit loader; there
# the 32-bit DLL is built but not run, the script says so, and nothing
# fails for that reason. TRELLAN_WINE_ARCH=win64 or win32 runs one suite
# only (win32 fails where 32-bit programs cannot run).
set -uo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
cd "$source_dir"

started=$(date +%s)
passed=0
failed=0
ran=()
step() { printf '\n=== %s\n' "$*"; }
pass() { passed=$((passed + 1)); echo "PASS: $*"; }
fail() { failed=$((failed + 1)); echo "FAIL: $*"; }
finish() {
  echo
  echo "test_wine: ${ran[*]:-nothing run}${skipped_32bit:+ (32-bit DLL not run: $skipped_32bit)}, $(( $(date +%s) - started ))s"
  echo "wine: $passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit $?
}

scripts/setup.sh >/dev/null || { fail "scripts/setup.sh"; finish; }
scripts/setup_wine.sh || { fail "scripts/setup_wine.sh"; finish; }

# Which DLLs this machine can run.
can_run_32bit() { /usr/lib/wine/wine --version >/dev/null 2>&1; }
skipped_32bit=
case "${TRELLAN_WINE_ARCH:-}" in
  "")
    arches=(win64)
    if can_run_32bit; then
      arches+=(win32)
    else
      skipped_32bit="this machine cannot run 32-bit programs"
      echo "NOTE: this machine cannot run 32-bit programs (no IA-32 emulation in the kernel):"
      echo "      the 32-bit DLL is built but tested only where it can run."
    fi
    ;;
  win64) arches=(win64) ;;
  win32)
    arches=(win32)
    can_run_32bit || { fail "Wine's 32-bit loader cannot start here (kernel without IA-32 emulation?)"; finish; }
    ;;
  *) fail "TRELLAN_WINE_ARCH must be win32 or win64, not $TRELLAN_WINE_ARCH"; finish ;;
esac

wine_dir=$source_dir/build/wine
export WINEPREFIX=$wine_dir/prefix
drive_c=$WINEPREFIX/drive_c

# The settings of one bitness: its build, its Wine loader (which chooses the
# system tools and the registry view of that bitness), its objdump, and
# where it is installed, as an installer puts it on 64-bit Windows.
use_arch() {
  case "$1" in
    win64)
      preset=mingw64 loader=/usr/lib/wine/wine64 objdump=x86_64-w64-mingw32-objdump format=pei-x86-64
      install_win='C:\Program Files\Trellan' install_dir="$drive_c/Program Files/Trellan"
      ;;
    win32)
      preset=mingw32 loader=/usr/lib/wine/wine objdump=i686-w64-mingw32-objdump format=pei-i386
      install_win='C:\Program Files (x86)\Trellan' install_dir="$drive_c/Program Files (x86)/Trellan"
      ;;
  esac
  bin=$source_dir/build/$preset/bin
  module="$install_win\\trellan.dll"
}

for arch in win64 win32; do
  use_arch $arch
  step "Cross build ($arch, preset $preset)"
  if cmake --preset $preset >"$source_dir/build/configure-$preset.log" 2>&1 &&
     cmake --build --preset $preset -j2 --target trellan_module trellan windows_tests wmvcore_double; then
    pass "$arch: cross build"
  else
    tail -20 "$source_dir/build/configure-$preset.log"
    fail "$arch: cross build"
    finish
  fi

  headers=$("$objdump" -p "$bin/trellan.dll")
  exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$headers" | awk '/\]/ && $NF !~ /Table/ {print $NF}' | sort | tr '\n' ' ')
  imports=$(awk '/DLL Name:/ {print toupper($3)}' <<<"$headers" | sort | tr '\n' ' ')
  echo "exports: $exports"
  echo "imports: $imports"
  if "$objdump" -f "$bin/trellan.dll" | grep -q "file format $format" &&
     "$objdump" -f "$bin/trellan.exe" | grep -q "file format $format"; then
    pass "$arch: trellan.dll and trellan.exe are $format"
  else
    fail "$arch: not $format"
  fi
  if [ "$exports" = "DllCanUnloadNow DllGetClassObject DllRegisterServer DllUnregisterServer " ]; then
    pass "$arch: the four exports, undecorated"
  else
    fail "$arch: exports"
  fi
  unexpected=$(tr ' ' '\n' <<<"$imports" | grep -v -x -E 'ADVAPI32.DLL|KERNEL32.DLL|MSVCRT.DLL|OLE32.DLL|OLEAUT32.DLL|USER32.DLL|WMVCORE.DLL|' || true)
  if [ -z "$unexpected" ]; then pass "$arch: only system DLLs imported"; else fail "$arch: unexpected imports: $unexpected"; fi
done

step "Fresh 64-bit Wine prefix"
export WINEARCH=win64
export WINEDEBUG=-all
export DISPLAY=
unset WAYLAND_DISPLAY
# No Mono or Gecko install prompts; the wmvcore test double next to the
# programs wins over Wine's built-in wmvcore.dll.
export WINEDLLOVERRIDES="mscoree,mshtml=;wmvcore=n,b"
# One 64-bit server for the whole prefix; a 64-bit program that starts a
# 32-bit one finds the 32-bit loader beside this one.
export WINELOADER=/usr/lib/wine/wine64
export WINESERVER=/usr/lib/wine/wineserver64
rm -rf "$wine_dir"
mkdir -p "$wine_dir"
cleanup() { timeout 60 "$WINESERVER" -k >/dev/null 2>&1 || true; }
trap cleanup EXIT
boot_started=$(date +%s)
if timeout 300 "$WINELOADER" wineboot -i >"$wine_dir/wineboot.log" 2>&1 &&
   timeout 120 "$WINESERVER" -w; then
  # One server for the whole run: each Wine call would otherwise start a
  # server and the prefix's services anew.
  "$WINESERVER" -p
  # Start the prefix's services now, with nothing of ours for them to
  # inherit.
  timeout 120 "$WINELOADER" reg query 'HKCR\CLSID' >/dev/null 2>&1 </dev/null
  pass "wineboot -i ($(( $(date +%s) - boot_started ))s)"
else
  tail -20 "$wine_dir/wineboot.log"
  fail "wineboot -i"
  finish
fi

media_dir=$drive_c/media
mkdir -p "$media_dir"
cp samples/sample.wma "$media_dir/real.wma"

for arch in "${arches[@]}"; do
  use_arch $arch
  ran+=("$arch")
  quoted_dir="$install_dir/it's here"
  mkdir -p "$quoted_dir"
  cp "$bin/trellan.dll" "$bin/trellan.exe" "$bin/windows_tests.exe" "$bin/wmvcore.dll" "$install_dir/"
  cp "$bin/trellan.dll" "$quoted_dir/"

  step "$arch: registration with regsvr32"
  if timeout 900 python3 tests/wine/registration_check.py --wine "$loader" --platform $arch \
       --table tests/registration/expected_registration.txt --module "$module" \
       --quoted-module "$install_win\\it's here\\trellan.dll"; then
    pass "$arch: registration"
  else
    fail "$arch: registration"
  fi

  step "$arch: harvest through the registry, trellan.exe dump"
  if timeout 300 "$loader" regsvr32 /s "$module" &&
     timeout 600 python3 tests/wine/dump_check.py --wine "$loader" --exe "$install_win\\trellan.exe" \
       --media-dir "$media_dir" --media-winpath 'C:\media' --real-file real.wma; then
    pass "$arch: dump"
  else
    fail "$arch: dump"
  fi

  for route in loaded registered; do
    step "$arch: Windows tests, route $route"
    if timeout 300 "$loader" "$install_win\\windows_tests.exe" --route=$route --module="$module" \
         --gtest_brief=1 </dev/null; then
      pass "$arch: windows_tests --route=$route"
    else
      fail "$arch: windows_tests --route=$route"
    fi
  done

  timeout 300 "$loader" regsvr32 /u /s "$module" || fail "$arch: final regsvr32 /u"
done

if [ ${#arches[@]} -eq 2 ]; then
  step "Both DLLs side by side"
  use_arch win32
  loader32=$loader module32=$module tests32="$install_win\\windows_tests.exe"
  use_arch win64
  if timeout 900 python3 tests/wine/side_by_side_check.py \
       --wine32 "$loader32" --module32 "$module32" --tests32 "$tests32" \
       --wine64 "$loader" --module64 "$module" --tests64 "$install_win\\windows_tests.exe"; then
    pass "side by side"
  else
    fail "side by side"
  fi
fi

finish
