#!/usr/bin/env bash
# The Debian package as a user meets it: installed with apt-get (which pulls
# in what it depends on), the samples indexed and searched by an
# unprivileged user, once with a home of its own and once with one that
# cannot be written; then purged, on every exit, leaving no file behind.
# Needs root. usage: tests/install/deb_test.sh dist/trellan_VERSION_amd64.deb
set -euo pipefail
deb=$(realpath "$1")
samples=$(realpath "$(dirname "$0")/../../samples")
apt=(apt-get -y -q -o DPkg::Lock::Timeout=600)
fail() { echo "FAIL: $*" >&2; exit 1; }

if [ "$(id -u)" -ne 0 ]; then
  echo "deb test: skipped, it needs root (apt-get install)"
  exit 0
fi
if dpkg-query -W -f='${Status}' trellan 2>/dev/null | grep -q "install ok installed"; then
  fail "a trellan package is installed already; this test would remove it"
fi

work=$(mktemp -d)
chmod 0755 "$work"
cleanup() {
  DEBIAN_FRONTEND=noninteractive "${apt[@]}" purge trellan >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

DEBIAN_FRONTEND=noninteractive "${apt[@]}" install "$deb" >/dev/null
[ -x /usr/bin/trellan ] || fail "the package installed no /usr/bin/trellan"
[ "$(command -v trellan)" = /usr/bin/trellan ] || fail "trellan is not /usr/bin/trellan on PATH"

# The user's files: a home of its own, and a copy of the samples it can read.
mkdir -p "$work/home" "$work/music"
cp "$samples"/*.mp3 "$samples"/*.wma "$samples"/*.wmv "$samples"/*.asf "$work/music/"
chown -R nobody:nogroup "$work/home"
chmod -R a+rX "$work/music"
as_user() { setpriv --reuid=nobody --regid=nogroup --clear-groups env -i PATH=/usr/bin:/bin "$@"; }

as_user HOME="$work/home" trellan index "$work/music" 2>"$work/err" ||
  fail "index as a user: $(cat "$work/err")"
grep -q "registered the filter /usr/lib/trellan/trellan.so" "$work/err" ||
  fail "index did not register the installed filter: $(cat "$work/err")"
as_user HOME="$work/home" trellan search 'author:"sample wma author"' >"$work/out" ||
  fail "search as a user"
grep -q "$work/music/sample.wma" "$work/out" || fail "search did not find sample.wma: $(cat "$work/out")"

# nobody's own home, /nonexistent, cannot be written.
as_user HOME=/nonexistent trellan dump --json "$work/music/sample.mp3" >"$work/out" 2>"$work/err" ||
  fail "dump with a home that cannot be written: $(cat "$work/err")"
grep -q "cannot keep the registry at /nonexistent/" "$work/err" && grep -q '"status": "S_OK ' "$work/out" ||
  fail "dump with a home that cannot be written: $(cat "$work/out" "$work/err")"
MANWIDTH=80 man --warnings trellan 2>&1 >/dev/null | grep . && fail "man trellan warns"

files=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|' | grep -v '/$')
DEBIAN_FRONTEND=noninteractive "${apt[@]}" purge trellan >/dev/null
for file in $files; do
  [ ! -e "$file" ] || fail "the purge left $file"
done
[ ! -e /usr/lib/trellan ] || fail "the purge left /usr/lib/trellan"
echo "deb test: passed"
