#!/usr/bin/env bash
# Installs every Debian package that the build and the tests need, when it
# is missing. Idempotent; needs root (or sudo) only when something is missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config python3 python3-mutagen
  libtag1-dev zlib1g-dev libsqlite3-dev libstemmer-dev libjemalloc-dev
  libpq-dev postgresql postgresql-contrib pgbouncer
  googletest libgtest-dev libbenchmark-dev
  clang libclang-rt-14-dev
  g++-mingw-w64-i686 binutils-mingw-w64-i686 mingw-w64-tools
  g++-mingw-w64-x86-64-win32 binutils-mingw-w64-x86-64
  libwine-dev
  msitools wixl osslsigncode openssl
  scdoc man-db bash-completion zsh fish dpkg-dev lintian
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "setup: installing ${missing[*]}"
. "$(dirname "$0")/apt_install.sh"
apt_install "${missing[@]}"
