#!/usr/bin/env bash
# The release for Debian and its derivatives: builds the Linux program and
# writes dist/trellan_VERSION_amd64.deb. The package holds what
# `cmake --install` puts under /usr (bin/trellan; lib/trellan/ with the
# filter module, the platform library and the metadata editor, and the
# programs of the filter workers and of index runs; the manual
# page, compressed; the completions for bash, zsh and fish), with the
# copyright file and a changelog in /usr/share/doc/trellan. Its
# dependencies are those dpkg-shlibdeps derives from every ELF file in it,
# plus libpq5, which the index loads at run time (PostgreSQL) and so no tool
# can see. lintian must report no errors.
#
# usage: scripts/package_deb.sh   (scripts/package.sh runs it too)
set -euo pipefail
cd "$(dirname "$0")/.."

version=$(tr -d ' \r\n' <VERSION)
stamp=$(git log -1 --format=%ct 2>/dev/null || date +%s)
maintainer="The Trellan developers <trellan@users.noreply.example.org>"
name=trellan_${version}_amd64

echo "package: building the Linux program (preset linux)"
cmake --preset linux >/dev/null
cmake --build --preset linux --target trellan trellan_module trellan_manual

work=build/linux/deb
staging=$work/$name
rm -rf "$work"
mkdir -p "$staging/DEBIAN" dist
DESTDIR=$PWD/$staging cmake --install build/linux --prefix /usr --strip >/dev/null

docs=$staging/usr/share/doc/trellan
mkdir -p "$docs"
gzip -9n "$staging/usr/share/man/man1/trellan.1"
gzip -9n <README.md >"$docs/README.md.gz"  # the manual page points to it
{
  echo "trellan ($version) unstable; urgency=medium"
  echo
  echo "  * Release $version."
  echo
  echo " -- $maintainer  $(date -u -R -d "@$stamp")"
} | gzip -9n >"$docs/changelog.gz"
{
  echo "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/"
  echo "Upstream-Name: trellan"
  echo
  echo "Files: *"
  echo "Copyright: $(sed -n 's/^Copyright (c) //p' LICENSE)"
  echo "License: Expat"
  sed -n '/^Permission/,$p' LICENSE | sed 's/^$/./; s/^/ /'
} >"$docs/copyright"
# Files as dpkg installs them, whatever this machine's umask; the files
# dated at the last commit.
find "$staging" -type d -exec chmod 0755 {} +
find "$staging" -type f -exec chmod 0644 {} +
chmod 0755 "$staging/usr/bin/trellan" "$staging/usr/lib/trellan/trellan-filter-worker" \
  "$staging/usr/lib/trellan/trellan-index"
find "$staging" -exec touch -h -d "@$stamp" {} +

# dpkg-shlibdeps wants a source package's control file; the package's own
# libraries are found beside the module (-l) and need no package of theirs.
elves=$(find "$PWD/$staging/usr" -type f -exec sh -c 'head -c4 "$1" | grep -q ELF' _ {} \; -print)
mkdir -p "$work/source/debian"
printf 'Source: trellan\n\nPackage: trellan\nArchitecture: amd64\n' >"$work/source/debian/control"
private=$PWD/$staging/usr/lib/trellan
shlibs=$(cd "$work/source" && dpkg-shlibdeps -O --ignore-missing-info -l"$private" $elves |
  sed -n 's/^shlibs:Depends=//p')
if [ -z "$shlibs" ]; then
  echo "package: dpkg-shlibdeps found no dependencies" >&2
  exit 1
fi

cat >"$staging/DEBIAN/control" <<CONTROL
Package: trellan
Version: $version
Architecture: amd64
Maintainer: $maintainer
Installed-Size: $(du -k -s "$staging/usr" | cut -f1)
Depends: $shlibs, libpq5
Section: utils
Priority: optional
Description: content filter and full-text search for media files' tags
 Trellan pulls searchable text and properties (title, author, comments) out
 of .mp3, .wma, .wmv and .asf files through its content filter, a COM-style
 module that it loads as an indexing host does. The trellan command keeps a
 full-text index of a music or video library (SQLite or PostgreSQL) and
 searches it, and shows what the filter reads from each file.
CONTROL

(cd "$staging" && find usr -type f -exec md5sum {} + | sort -k2 >DEBIAN/md5sums)
dpkg-deb --root-owner-group -Zxz --build "$staging" "dist/$name.deb" >/dev/null
echo "package: dist/$name.deb (depends: $shlibs, libpq5)"
if ! lintian --fail-on error "dist/$name.deb"; then
  echo "package: lintian reports errors in dist/$name.deb" >&2
  exit 1
fi
