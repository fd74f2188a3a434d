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
apt_install "${missing[@]}"
echo "setup_wine: done in $(( $(date +%s) - start ))s"
