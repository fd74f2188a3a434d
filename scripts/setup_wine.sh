#!/usr/bin/env bash
# Installs Debian's Wine, 64-bit and with its 32-bit loader, so that both
# Windows builds (trellan.dll, trellan.exe and the Windows tests) can run
# here; the cross compilers come from scripts/setup.sh. Idempotent: returns
# at once when everything is in place. Needs root (or sudo) only when
# something is missing.
set -euo pipefail

# wine64 runs the 64-bit build. wine32:i386 brings the 32-bit loader and the
# 32-bit built-in DLLs, which a 64-bit prefix uses for 32-bit programs; wine
# is the launcher. Where the kernel cannot run 32-bit programs at all (no
# IA-32 emulation), the 32-bit packages install but cannot run, and
# scripts/test_wine.sh tests the 64-bit build only.
packages=(wine wine32:i386 wine64)

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

missing=()
for package in "${packages[@]}"; do
  installed "$package" || missing+=("$package")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  as_root=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive

start=$(date +%s)
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "setup_wine: enabling the i386 architecture"
  "${as_root[@]}" dpkg --add-architecture i386
fi
echo "setup_wine: installing ${missing[*]}"
. "$(dirname "$0")/apt_install.sh"
if ! apt_install "${missing[@]}"; then
  # The 32-bit packages need the mirror's i386 lists, which it may refuse
  # for hours while it syncs; the 64-bit Wine needs none of them. The i386
  # architecture goes again, so that the lists update, unless some i386
  # package is installed (the machine's own, not this script's). Without
  # the 32-bit loader, scripts/test_wine.sh says that the 32-bit DLL was
  # built but not run.
  if dpkg-query -W -f='${Architecture}\n' | grep -qx i386; then
    exit 1
  fi
  echo "setup_wine: the 32-bit Wine cannot be installed now; installing the 64-bit Wine alone" >&2
  "${as_root[@]}" dpkg --remove-architecture i386
  sixty_four=()
  for package in "${missing[@]}"; do
    [[ "$package" == *:i386 ]] || sixty_four+=("$package")
  done
  apt_install "${sixty_four[@]}"
fi
echo "setup_wine: done in $(( $(date +%s) - start ))s"
